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
    <name>CCaseDetailsBox</name>
    <message>
        <source>Case details</source>
        <translation>Сведения о деле</translation>
    </message>
    <message>
        <source>Named in the examination report written beside the exported files</source>
        <translation>Указываются в отчёте об исследовании, который сохраняется рядом с экспортированными файлами</translation>
    </message>
    <message>
        <source> s</source>
        <translation> с</translation>
    </message>
    <message>
        <source>The recorder&apos;s clock minus the true time, in seconds. The report shows the corrected times beside the recorder&apos;s own; exported files and their names stay as they are.</source>
        <translation>Показания часов видеорегистратора минус точное время, в секундах. В отчёте рядом со временем регистратора указывается исправленное время; экспортированные файлы и их имена не меняются.</translation>
    </message>
    <message>
        <source>Case number</source>
        <translation>Номер дела</translation>
    </message>
    <message>
        <source>Examiner</source>
        <translation>Эксперт</translation>
    </message>
    <message>
        <source>Evidence number</source>
        <translation>Номер вещ. доказательства</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>Примечания</translation>
    </message>
    <message>
        <source>Clock offset</source>
        <translation>Смещение часов</translation>
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
        <translation>Сообщение</translation>
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
    <name>CCutFileDlg</name>
    <message>
        <source>Cut</source>
        <translation>Вырезать</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Обзор</translation>
    </message>
    <message>
        <source>Start Time</source>
        <translation>Время начала</translation>
    </message>
    <message>
        <source>End Time</source>
        <translation>Время конца</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Начать</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Cut Range </source>
        <translation>Диапазон вырезки </translation>
    </message>
    <message>
        <source>Select the path for record</source>
        <translation>Выберите папку для записей</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>Сообщение</translation>
    </message>
    <message>
        <source>Abnormal time</source>
        <translation>Недопустимое время</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Whether to cancel cut recording</source>
        <translation>Отменить вырезку записи?</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>Нет</translation>
    </message>
</context>
<context>
    <name>CCutJob</name>
    <message>
        <source>Convert Record</source>
        <translation>Преобразование записи</translation>
    </message>
    <message>
        <source>Convert To Mp4</source>
        <translation>Преобразование в MP4</translation>
    </message>
    <message>
        <source>Convert Failed</source>
        <translation>Ошибка преобразования</translation>
    </message>
    <message>
        <source>Cut Success</source>
        <translation>Вырезка выполнена</translation>
    </message>
    <message>
        <source>No video lies in the selected range</source>
        <translation>В выбранном диапазоне нет видео</translation>
    </message>
    <message>
        <source>Cut Failed</source>
        <translation>Ошибка вырезки</translation>
    </message>
    <message>
        <source>Abnormal time</source>
        <translation>Недопустимое время</translation>
    </message>
    <message>
        <source>The recording cannot be opened: %1</source>
        <translation>Не удаётся открыть запись: %1</translation>
    </message>
    <message>
        <source>The folder cannot be created: %1</source>
        <translation>Не удаётся создать папку: %1</translation>
    </message>
    <message>
        <source>The file cannot be created: %1</source>
        <translation>Не удаётся создать файл: %1</translation>
    </message>
    <message>
        <source>Out of memory</source>
        <translation>Недостаточно памяти</translation>
    </message>
    <message>
        <source>Start Cut</source>
        <translation>Вырезка</translation>
    </message>
    <message>
        <source>Find Start Pos</source>
        <translation>Поиск начала</translation>
    </message>
    <message>
        <source>The recording cannot be read</source>
        <translation>Не удаётся прочитать запись</translation>
    </message>
    <message>
        <source>The file cannot be written: %1</source>
        <translation>Не удаётся записать файл: %1</translation>
    </message>
    <message>
        <source>Reading ended after %1 of %2 bytes</source>
        <translation>Чтение прервалось после %1 из %2 байт</translation>
    </message>
    <message>
        <source>The job was stopped during the conversion; the cut was kept as H.264</source>
        <translation>Задание остановлено во время преобразования; вырезка сохранена как H.264</translation>
    </message>
    <message>
        <source>The conversion to MP4 failed; the cut was kept as H.264</source>
        <translation>Преобразование в MP4 не удалось; вырезка сохранена как H.264</translation>
    </message>
    <message>
        <source>The job was stopped before its end</source>
        <translation>Задание остановлено до завершения</translation>
    </message>
    <message>
        <source>The MP4 file cannot be read back (%1); the cut was kept as H.264</source>
        <translation>Не удаётся прочитать файл MP4 (%1); вырезка сохранена как H.264</translation>
    </message>
    <message>
        <source>The raw cut %1 cannot be removed after its conversion</source>
        <translation>Не удаётся удалить исходную вырезку %1 после преобразования</translation>
    </message>
    <message>
        <source>SHA256SUMS cannot be updated for %1: %2</source>
        <translation>Не удаётся обновить SHA256SUMS для %1: %2</translation>
    </message>
    <message>
        <source>The examination report cannot be written: %1</source>
        <translation>Не удаётся записать отчёт об исследовании: %1</translation>
    </message>
    <message>
        <source>Kept as H.264: %1</source>
        <translation>Сохранено как H.264: %1</translation>
    </message>
    <message>
        <source>Stopped before the end of the cut</source>
        <translation>Остановлено до конца вырезки</translation>
    </message>
    <message>
        <source>Stopped; the output could not be written whole</source>
        <translation>Остановлено; выходной файл не удалось записать целиком</translation>
    </message>
</context>
<context>
    <name>CDirManagePage</name>
    <message>
        <source>Add Local Record</source>
        <translation>Добавить локальные записи</translation>
    </message>
    <message>
        <source>Select the path for record</source>
        <translation>Выберите папку с записями</translation>
    </message>
    <message>
        <source>Index file not found</source>
        <translation>Файл индекса не найден</translation>
    </message>
    <message>
        <source>The index file cannot be read</source>
        <translation>Не удаётся прочитать файл индекса</translation>
    </message>
    <message>
        <source>No matching record file</source>
        <translation>Нет подходящих файлов записей</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Воспроизвести</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>Вырезать</translation>
    </message>
    <message>
        <source>Sync Play</source>
        <translation>Синхронное воспроизведение</translation>
    </message>
    <message>
        <source>The SHA256SUMS file of this folder cannot be read</source>
        <translation>Не удаётся прочитать файл SHA256SUMS этой папки</translation>
    </message>
    <message>
        <source>This file does not match its hash in SHA256SUMS.</source>
        <translation>Этот файл не совпадает со своим хешем в SHA256SUMS.</translation>
    </message>
    <message>
        <source>This file could not be read to check it against SHA256SUMS.</source>
        <translation>Этот файл не удалось прочитать для проверки по SHA256SUMS.</translation>
    </message>
    <message>
        <source>SHA256SUMS: all %1 files of this folder match</source>
        <translation>SHA256SUMS: все файлы этой папки совпадают (%1)</translation>
    </message>
    <message>
        <source>SHA256SUMS: %1 of the %2 files listed are missing or do not match</source>
        <translation>SHA256SUMS: отсутствуют или не совпадают %1 из %2 файлов</translation>
    </message>
</context>
<context>
    <name>CDiskManagePage</name>
    <message>
        <source>Add Disk Image</source>
        <translation>Добавить образ диска</translation>
    </message>
    <message>
        <source>Add a disk image file as a recorder disk</source>
        <translation>Добавить файл образа как диск регистратора</translation>
    </message>
    <message>
        <source>Loading</source>
        <translation>Загрузка</translation>
    </message>
    <message>
        <source>Cannot read %1 (%2): the program needs read access to this drive.</source>
        <translation>Не удаётся прочитать %1 (%2): программе нужен доступ на чтение к этому диску.</translation>
    </message>
    <message>
        <source>%1 does not exist</source>
        <translation>%1 не существует</translation>
    </message>
    <message>
        <source>%1 is not a file</source>
        <translation>%1 не является файлом</translation>
    </message>
    <message>
        <source>%1 cannot be read</source>
        <translation>Не удаётся прочитать %1</translation>
    </message>
    <message>
        <source>The disks are read again when the current work has finished</source>
        <translation>Диски будут прочитаны заново после завершения текущей работы</translation>
    </message>
    <message>
        <source>Select a disk image</source>
        <translation>Выберите образ диска</translation>
    </message>
    <message>
        <source>Disk images (*.img *.bin *.dd *.raw *.E01 *.e01 *.Ex01 *.000 *.001);;Raw images (*.img *.bin *.dd *.raw);;Split raw images, first segment (*.000 *.001);;Expert Witness images (*.E01 *.e01 *.Ex01);;All files (*)</source>
        <translation>Образы дисков (*.img *.bin *.dd *.raw *.E01 *.e01 *.Ex01 *.000 *.001);;Необработанные образы (*.img *.bin *.dd *.raw);;Разделённые образы, первый сегмент (*.000 *.001);;Образы Expert Witness (*.E01 *.e01 *.Ex01);;Все файлы (*)</translation>
    </message>
    <message>
        <source>%1 is not a recorder disk</source>
        <translation>%1 не является диском регистратора</translation>
    </message>
    <message>
        <source>Disk Info</source>
        <translation>Сведения о диске</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Экспорт</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Воспроизвести</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>Вырезать</translation>
    </message>
    <message>
        <source>Sync Play</source>
        <translation>Синхронное воспроизведение</translation>
    </message>
    <message>
        <source>Total Space</source>
        <translation>Общий объём</translation>
    </message>
    <message>
        <source>Remain Space</source>
        <translation>Свободно</translation>
    </message>
    <message>
        <source>Picture Total Space</source>
        <translation>Объём для снимков</translation>
    </message>
    <message>
        <source>Record Total Space</source>
        <translation>Объём для записей</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>МБ</translation>
    </message>
    <message>
        <source>no recordings of the chosen stream</source>
        <translation>нет записей выбранного потока</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: its segment %2 is missing.</source>
        <translation>Не удаётся прочитать образ диска %1: отсутствует его сегмент %2.</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: its segment %2 is cut short.</source>
        <translation>Не удаётся прочитать образ диска %1: его сегмент %2 обрезан.</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: its segment %2 is damaged.</source>
        <translation>Не удаётся прочитать образ диска %1: его сегмент %2 повреждён.</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: its segment %2 cannot be opened (%3).</source>
        <translation>Не удаётся прочитать образ диска %1: не удаётся открыть его сегмент %2 (%3).</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: its segment %2 is longer than the first segment.</source>
        <translation>Не удаётся прочитать образ диска %1: его сегмент %2 длиннее первого сегмента.</translation>
    </message>
    <message>
        <source>%1 is not the first segment of its split image (%2 comes before it).</source>
        <translation>%1 — не первый сегмент разделённого образа (перед ним идёт %2).</translation>
    </message>
    <message>
        <source>Cannot read the disk image %1: the image set is damaged.</source>
        <translation>Не удаётся прочитать образ диска %1: набор файлов образа повреждён.</translation>
    </message>
    <message>
        <source>raw image</source>
        <translation>необработанный образ</translation>
    </message>
    <message>
        <source>split raw image, 1 segment</source>
        <translation>разделённый образ, 1 сегмент</translation>
    </message>
    <message>
        <source>split raw image, %1 segments</source>
        <translation>разделённый образ, сегментов: %1</translation>
    </message>
    <message>
        <source>EWF image, 1 segment</source>
        <translation>образ EWF, 1 сегмент</translation>
    </message>
    <message>
        <source>EWF image, %1 segments</source>
        <translation>образ EWF, сегментов: %1</translation>
    </message>
    <message>
        <source>Recovered</source>
        <translation>Восстановленные</translation>
    </message>
    <message>
        <source>Deleted recordings and what is left of overwritten ones</source>
        <translation>Удалённые записи и остатки перезаписанных</translation>
    </message>
    <message>
        <source>deleted</source>
        <translation>удалена</translation>
    </message>
    <message>
        <source>fragment</source>
        <translation>фрагмент</translation>
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
    <message>
        <source>Sound output is not available</source>
        <translation>Вывод звука недоступен</translation>
    </message>
    <message>
        <source>The picture could not be saved</source>
        <translation>Не удалось сохранить снимок</translation>
    </message>
    <message>
        <source>Picture saved as %1</source>
        <translation>Снимок сохранён: %1</translation>
    </message>
</context>
<context>
    <name>CExamReport</name>
    <message>
        <source>Disk %1 is no longer loaded: its source cannot be described</source>
        <translation>Диск %1 больше не загружен: его источник нельзя описать</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Экспорт</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>Вырезать</translation>
    </message>
    <message>
        <source>Range export</source>
        <translation>Экспорт интервала</translation>
    </message>
    <message>
        <source>Examination report</source>
        <translation>Отчёт об исследовании</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Программа</translation>
    </message>
    <message>
        <source>Job</source>
        <translation>Задание</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Формат</translation>
    </message>
    <message>
        <source>Destination</source>
        <translation>Папка назначения</translation>
    </message>
    <message>
        <source>Started</source>
        <translation>Начало</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>Окончание</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Компьютер</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>Каналы</translation>
    </message>
    <message>
        <source>Case</source>
        <translation>Дело</translation>
    </message>
    <message>
        <source>Case number</source>
        <translation>Номер дела</translation>
    </message>
    <message>
        <source>Examiner</source>
        <translation>Эксперт</translation>
    </message>
    <message>
        <source>Evidence number</source>
        <translation>Номер вещ. доказательства</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>Примечания</translation>
    </message>
    <message>
        <source>Clock offset (recorder minus true time, s)</source>
        <translation>Смещение часов (время регистратора минус точное время, с)</translation>
    </message>
    <message>
        <source>Sources</source>
        <translation>Источники</translation>
    </message>
    <message>
        <source>No recorder disk was read (local files only).</source>
        <translation>Диски регистратора не читались (только локальные файлы).</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>Диск</translation>
    </message>
    <message>
        <source>Drive</source>
        <translation>Накопитель</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Тип</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Источник</translation>
    </message>
    <message>
        <source>Sectors</source>
        <translation>Секторов</translation>
    </message>
    <message>
        <source>Model / serial</source>
        <translation>Модель / серийный номер</translation>
    </message>
    <message>
        <source>Image files</source>
        <translation>Файлы образа</translation>
    </message>
    <message>
        <source>%1 (%2 bytes)</source>
        <translation>%1 (%2 байт)</translation>
    </message>
    <message>
        <source>stored %1</source>
        <translation>сохранённый %1</translation>
    </message>
    <message>
        <source>Recordings</source>
        <translation>Записи</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Запись</translation>
    </message>
    <message>
        <source>Disk / part / channel</source>
        <translation>Диск / раздел / канал</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>Start (corrected)</source>
        <translation>Начало (исправлено)</translation>
    </message>
    <message>
        <source>End (corrected)</source>
        <translation>Конец (исправлено)</translation>
    </message>
    <message>
        <source>First cluster</source>
        <translation>Первый кластер</translation>
    </message>
    <message>
        <source>Source bytes</source>
        <translation>Байт источника</translation>
    </message>
    <message>
        <source>Source SHA-256</source>
        <translation>SHA-256 источника</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Результат</translation>
    </message>
    <message>
        <source>Output bytes</source>
        <translation>Байт результата</translation>
    </message>
    <message>
        <source>Output SHA-256</source>
        <translation>SHA-256 результата</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Итог</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Сообщение</translation>
    </message>
    <message>
        <source>cut %1 - %2</source>
        <translation>вырезка %1 - %2</translation>
    </message>
    <message>
        <source>kept as H.264</source>
        <translation>сохранено как H.264</translation>
    </message>
    <message>
        <source>Warnings</source>
        <translation>Предупреждения</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Нет</translation>
    </message>
    <message>
        <source>Time range</source>
        <translation>Интервал времени</translation>
    </message>
    <message>
        <source>Start time</source>
        <translation>Время начала записи</translation>
    </message>
    <message>
        <source>End time</source>
        <translation>Время конца записи</translation>
    </message>
    <message>
        <source>Time range (corrected)</source>
        <translation>Интервал времени (исправлено)</translation>
    </message>
</context>
<context>
    <name>CExportFileDlg</name>
    <message>
        <source>Export</source>
        <translation>Экспорт</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Обзор</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Начать</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Select the path for record</source>
        <translation>Выберите папку для записей</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>Сообщение</translation>
    </message>
    <message>
        <source>Whether to cancel export recording</source>
        <translation>Отменить экспорт записей?</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>Нет</translation>
    </message>
</context>
<context>
    <name>CExportJob</name>
    <message>
        <source>The destination folder cannot be created</source>
        <translation>Не удаётся создать папку назначения</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Экспорт</translation>
    </message>
    <message>
        <source>Not a recording path</source>
        <translation>Это не путь записи</translation>
    </message>
    <message>
        <source>The folder cannot be created</source>
        <translation>Не удаётся создать папку</translation>
    </message>
    <message>
        <source>The existing file cannot be replaced</source>
        <translation>Не удаётся заменить существующий файл</translation>
    </message>
    <message>
        <source>The line of index.data cannot be written</source>
        <translation>Не удаётся записать строку index.data</translation>
    </message>
    <message>
        <source>The recording cannot be opened</source>
        <translation>Не удаётся открыть запись</translation>
    </message>
    <message>
        <source>The target file cannot be created</source>
        <translation>Не удаётся создать файл назначения</translation>
    </message>
    <message>
        <source>Reading ended after %1 bytes: the end of the recording cannot be reached</source>
        <translation>Чтение прервалось после %1 байт: конец записи недостижим</translation>
    </message>
    <message>
        <source>Reading ended after %1 of %2 bytes</source>
        <translation>Чтение прервалось после %1 из %2 байт</translation>
    </message>
    <message>
        <source>The target file cannot be written</source>
        <translation>Не удаётся записать файл назначения</translation>
    </message>
    <message>
        <source>Convert Record</source>
        <translation>Преобразование записи</translation>
    </message>
    <message>
        <source>Convert To Mp4</source>
        <translation>Преобразование в MP4</translation>
    </message>
    <message>
        <source>Convert </source>
        <translation>Преобразование </translation>
    </message>
    <message>
        <source>Convert Failed</source>
        <translation>Ошибка преобразования</translation>
    </message>
    <message>
        <source>Export Success</source>
        <translation>Экспорт выполнен</translation>
    </message>
    <message>
        <source>Export failed for %1 of %2 recordings:</source>
        <translation>Не удалось экспортировать %1 из %2 записей:</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>и ещё %1</translation>
    </message>
    <message>
        <source>index.data cannot be opened: nothing was copied</source>
        <translation>Не удаётся открыть index.data: ничего не скопировано</translation>
    </message>
    <message>
        <source>The job was stopped before its end</source>
        <translation>Задание остановлено до завершения</translation>
    </message>
    <message>
        <source>SHA256SUMS cannot be updated for %1: %2</source>
        <translation>Не удаётся обновить SHA256SUMS для %1: %2</translation>
    </message>
    <message>
        <source>The examination report cannot be written: %1</source>
        <translation>Не удаётся записать отчёт об исследовании: %1</translation>
    </message>
    <message>
        <source>Stopped after %1 bytes</source>
        <translation>Остановлено после %1 байт</translation>
    </message>
    <message>
        <source>The line of index.data cannot be written for %1</source>
        <translation>Не удаётся записать строку index.data для %1</translation>
    </message>
    <message>
        <source>Convert Failed; kept as H.264</source>
        <translation>Ошибка преобразования; сохранено как H.264</translation>
    </message>
    <message>
        <source>The conversion to MP4 failed; the recording was kept as H.264</source>
        <translation>Преобразование в MP4 не удалось; запись сохранена как H.264</translation>
    </message>
    <message>
        <source>The MP4 file cannot be read back: %1</source>
        <translation>Не удаётся прочитать файл MP4: %1</translation>
    </message>
    <message>
        <source>The MP4 file cannot be read back (%1); the recording was kept as H.264</source>
        <translation>Не удаётся прочитать файл MP4 (%1); запись сохранена как H.264</translation>
    </message>
    <message>
        <source>The raw copy %1 cannot be removed after its conversion</source>
        <translation>Не удаётся удалить исходную копию %1 после преобразования</translation>
    </message>
    <message>
        <source>The job was stopped before the conversion; the recording was kept as H.264</source>
        <translation>Задание остановлено до преобразования; запись сохранена как H.264</translation>
    </message>
    <message>
        <source>Kept as H.264 and listed in index.data:</source>
        <translation>Сохранено как H.264 и внесено в index.data:</translation>
    </message>
    <message>
        <source>Export finished with warnings:</source>
        <translation>Экспорт завершён с предупреждениями:</translation>
    </message>
</context>
<context>
    <name>CJobDialog</name>
    <message>
        <source>Open Report</source>
        <translation>Открыть отчёт</translation>
    </message>
    <message>
        <source>No program could open the report. It is saved as:
%1</source>
        <translation>Ни одна программа не смогла открыть отчёт. Он сохранён здесь:
%1</translation>
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
        <translation>Сообщение</translation>
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
    <name>CRangeExportDlg</name>
    <message>
        <source>Export range</source>
        <translation>Экспорт интервала</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Обзор</translation>
    </message>
    <message>
        <source>Select the path for record</source>
        <translation>Выберите папку для записей</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Начать</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>Сообщение</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>Нет</translation>
    </message>
    <message>
        <source>Whether to cancel the range export</source>
        <translation>Отменить экспорт интервала?</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Формат</translation>
    </message>
    <message>
        <source>From</source>
        <translation>С</translation>
    </message>
    <message>
        <source>To</source>
        <translation>По</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>Каналы</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>Все файлы</translation>
    </message>
    <message>
        <source>Files: %1, channels: %2</source>
        <translation>Файлов: %1, каналов: %2</translation>
    </message>
</context>
<context>
    <name>CRangeExportJob</name>
    <message>
        <source>No recording in the range: %1</source>
        <translation>Нет записей в интервале: %1</translation>
    </message>
    <message>
        <source>The range needs a valid start and end</source>
        <translation>Для интервала нужны правильные начало и конец</translation>
    </message>
    <message>
        <source>The range has no length</source>
        <translation>Интервал имеет нулевую длину</translation>
    </message>
    <message>
        <source>The range ends before it starts</source>
        <translation>Интервал заканчивается раньше, чем начинается</translation>
    </message>
    <message>
        <source>No channel is chosen</source>
        <translation>Не выбран ни один канал</translation>
    </message>
    <message>
        <source>These channels do not exist: %1</source>
        <translation>Таких каналов нет: %1</translation>
    </message>
    <message>
        <source>No recording of the chosen channels lies between %1 and %2</source>
        <translation>У выбранных каналов нет записей между %1 и %2</translation>
    </message>
    <message>
        <source>Channel %1, file %2 of %3 (%4 of %5)</source>
        <translation>Канал %1, файл %2 из %3 (%4 из %5)</translation>
    </message>
    <message>
        <source>the conversion to MP4 failed; kept as H.264</source>
        <translation>преобразование в MP4 не удалось; сохранено как H.264</translation>
    </message>
    <message>
        <source>Range export finished with errors</source>
        <translation>Экспорт интервала завершён с ошибками</translation>
    </message>
    <message>
        <source>Range Export Success</source>
        <translation>Экспорт интервала выполнен</translation>
    </message>
    <message>
        <source>Files written: %1</source>
        <translation>Записано файлов: %1</translation>
    </message>
    <message>
        <source>Folder: %1</source>
        <translation>Папка: %1</translation>
    </message>
    <message>
        <source>%1: no video of %2 lies in the range</source>
        <translation>%1: в интервале нет видео из %2</translation>
    </message>
    <message>
        <source>The examination report cannot be written: %1</source>
        <translation>Не удаётся записать отчёт об исследовании: %1</translation>
    </message>
    <message>
        <source>The job was stopped before its end</source>
        <translation>Задание остановлено до завершения</translation>
    </message>
</context>
<context>
    <name>CRecordListManage</name>
    <message>
        <source>Disk</source>
        <translation>Диск</translation>
    </message>
    <message>
        <source>Local</source>
        <translation>Локальные</translation>
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
    <name>CTimelineLegend</name>
    <message>
        <source>Regular</source>
        <translation>Обычная</translation>
    </message>
    <message>
        <source>Alarm</source>
        <translation>Тревога</translation>
    </message>
    <message>
        <source>Motion</source>
        <translation>Движение</translation>
    </message>
    <message>
        <source>Type %1</source>
        <translation>Тип %1</translation>
    </message>
</context>
<context>
    <name>CTimelinePanel</name>
    <message>
        <source>24 h</source>
        <translation>24 ч</translation>
    </message>
    <message>
        <source>6 h</source>
        <translation>6 ч</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 ч</translation>
    </message>
    <message>
        <source>10 min</source>
        <translation>10 мин</translation>
    </message>
    <message>
        <source>Start of the selected range</source>
        <translation>Начало выбранного интервала</translation>
    </message>
    <message>
        <source>End of the selected range</source>
        <translation>Конец выбранного интервала</translation>
    </message>
    <message>
        <source>Export range</source>
        <translation>Экспорт интервала</translation>
    </message>
    <message>
        <source>Timeline</source>
        <translation>Шкала времени</translation>
    </message>
    <message>
        <source>Channel %1 has no recording at %2</source>
        <translation>У канала %1 нет записи в %2</translation>
    </message>
    <message>
        <source>No recording at or after %1</source>
        <translation>Нет записей в %1 и позже</translation>
    </message>
</context>
<context>
    <name>CTimelineWidget</name>
    <message>
        <source>No recordings on this day</source>
        <translation>В этот день записей нет</translation>
    </message>
    <message>
        <source>Select a date in the tree or the calendar</source>
        <translation>Выберите дату в дереве или календаре</translation>
    </message>
    <message>
        <source>Export range</source>
        <translation>Экспорт интервала</translation>
    </message>
    <message>
        <source>Clear range</source>
        <translation>Снять выделение</translation>
    </message>
    <message>
        <source>Channel %1</source>
        <translation>Канал %1</translation>
    </message>
    <message>
        <source>No recording</source>
        <translation>Нет записи</translation>
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
