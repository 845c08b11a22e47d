<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>CCalendar</name>
    <message>
        <source>January</source>
        <translation>Январь</translation>
    </message>
    <message>
        <source>February</source>
        <translation>Февраль</translation>
    </message>
    <message>
        <source>March</source>
        <translation>Март</translation>
    </message>
    <message>
        <source>April</source>
        <translation>Апрель</translation>
    </message>
    <message>
        <source>May</source>
        <translation>Май</translation>
    </message>
    <message>
        <source>June</source>
        <translation>Июнь</translation>
    </message>
    <message>
        <source>July</source>
        <translation>Июль</translation>
    </message>
    <message>
        <source>August </source>
        <translation>Август</translation>
    </message>
    <message>
        <source>September </source>
        <translation>Сентябрь</translation>
    </message>
    <message>
        <source>October </source>
        <translation>Октябрь</translation>
    </message>
    <message>
        <source>November</source>
        <translation>Ноябрь</translation>
    </message>
    <message>
        <source>December</source>
        <translation>Декабрь</translation>
    </message>
</context>
<context>
    <name>CConfigDlg</name>
    <message>
        <source>Config</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Обзор</translation>
    </message>
    <message>
        <source>English</source>
        <translation>Английский</translation>
    </message>
    <message>
        <source>SimpChinese</source>
        <translation>Китайский (упрощённый)</translation>
    </message>
    <message>
        <source>Russian</source>
        <translation>Русский</translation>
    </message>
    <message>
        <source>Main Stream</source>
        <translation>Основной поток</translation>
    </message>
    <message>
        <source>Sub Stream</source>
        <translation>Дополнительный поток</translation>
    </message>
    <message>
        <source>Timelapse Video</source>
        <translation>Замедленная съёмка</translation>
    </message>
    <message>
        <source>Pic Path</source>
        <translation>Папка снимков</translation>
    </message>
    <message>
        <source>Record Path</source>
        <translation>Папка записей</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Язык</translation>
    </message>
    <message>
        <source>Record Stream</source>
        <translation>Поток записи</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Версия</translation>
    </message>
    <message>
        <source>Build Date</source>
        <translation>Дата сборки</translation>
    </message>
    <message>
        <source>Open Source Licenses</source>
        <translation>Лицензии открытого ПО</translation>
    </message>
    <message>
        <source>Service Agreements</source>
        <translation>Пользовательское соглашение</translation>
    </message>
    <message>
        <source>Language and record stream changes take effect after a restart.</source>
        <translation>Смена языка и потока записи вступает в силу после перезапуска.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Select the path for capture</source>
        <translation>Выберите папку для снимков</translation>
    </message>
    <message>
        <source>Select the path for record</source>
        <translation>Выберите папку для записей</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>Внимание</translation>
    </message>
    <message>
        <source>The change will take effect after a restart of Orvelle.</source>
        <translation>Изменение вступит в силу после перезапуска Orvelle.</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Перезапустить</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Позже</translation>
    </message>
</context>
<context>
    <name>CDisplayBox</name>
    <message>
        <source>Stop</source>
        <translation>Стоп</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Воспроизвести</translation>
    </message>
    <message>
        <source>Slow</source>
        <translation>Медленнее</translation>
    </message>
    <message>
        <source>Fast</source>
        <translation>Быстрее</translation>
    </message>
    <message>
        <source>NextFrame</source>
        <translation>Следующий кадр</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>Звук</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Пауза</translation>
    </message>
    <message>
        <source>Single I frame playback</source>
        <translation>Воспроизведение только I-кадров</translation>
    </message>
    <message>
        <source>AudioOn</source>
        <translation>Звук включён</translation>
    </message>
    <message>
        <source>AudioOff</source>
        <translation>Звук выключен</translation>
    </message>
    <message>
        <source>The file index is being read and the progress bar cannot be operated</source>
        <translation>Идёт чтение индекса файла, ползунок пока недоступен</translation>
    </message>
    <message>
        <source>Please stop sync playback first</source>
        <translation>Сначала остановите синхронное воспроизведение</translation>
    </message>
    <message>
        <source>In synchronous mode, you need to wait for the file index to be created</source>
        <translation>В синхронном режиме нужно дождаться построения индекса файла</translation>
    </message>
    <message>
        <source>Window</source>
        <translation>Окно</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Close All</source>
        <translation>Закрыть все</translation>
    </message>
    <message>
        <source>Catch Picture</source>
        <translation>Снимок кадра</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Запись</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>Увеличение области</translation>
    </message>
    <message>
        <source>Video Split</source>
        <translation>Раскладка окон</translation>
    </message>
    <message>
        <source>Split1</source>
        <translation>1 окно</translation>
    </message>
    <message>
        <source>Split4</source>
        <translation>4 окна</translation>
    </message>
    <message>
        <source>Split8</source>
        <translation>8 окон</translation>
    </message>
    <message>
        <source>Split9</source>
        <translation>9 окон</translation>
    </message>
    <message>
        <source>Split16</source>
        <translation>16 окон</translation>
    </message>
</context>
<context>
    <name>CMessageBox</name>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
</context>
<context>
    <name>COrvelle</name>
    <message>
        <source>Prompt</source>
        <translation>Внимание</translation>
    </message>
    <message>
        <source>Do you want to close</source>
        <translation>Закрыть программу</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Да</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Нет</translation>
    </message>
</context>
<context>
    <name>CServiceAgreementDlg</name>
    <message>
        <source>Service Agreements</source>
        <translation>Пользовательское соглашение</translation>
    </message>
    <message>
        <source>I already know</source>
        <translation>Понятно</translation>
    </message>
</context>
<context>
    <name>CTitleWidget</name>
    <message>
        <source>Config</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>Свернуть</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>Развернуть</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Восстановить</translation>
    </message>
</context>
<context>
    <name>CWeekWidget</name>
    <message>
        <source>Sun</source>
        <translation>Вс</translation>
    </message>
    <message>
        <source>Mon</source>
        <translation>Пн</translation>
    </message>
    <message>
        <source>Tues</source>
        <translation>Вт</translation>
    </message>
    <message>
        <source>Wed</source>
        <translation>Ср</translation>
    </message>
    <message>
        <source>Thur</source>
        <translation>Чт</translation>
    </message>
    <message>
        <source>Fri</source>
        <translation>Пт</translation>
    </message>
    <message>
        <source>Sat</source>
        <translation>Сб</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Loading</source>
        <translation>Загрузка</translation>
    </message>
</context>
</TS>
