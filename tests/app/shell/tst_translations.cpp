// The translations: both compiled catalogues load and translate, and the
// sources have no unfinished or empty entry, keep every placeholder and give
// one text the same translation wherever it is used.

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

namespace {

struct TsEntry
{
    QString context;
    QString source;
    QString translation;
    bool unfinished = false;
    bool numerus = false;
};

bool readTs(const QString& path, QList<TsEntry>* pEntries, QString* pError)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *pError = "cannot open " + path;
        return false;
    }
    QXmlStreamReader xml(&file);
    QString context;
    TsEntry entry;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const QStringRef name = xml.name();
        if (name == QLatin1String("context")) {
            context.clear();
        } else if (name == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (name == QLatin1String("message")) {
            entry = TsEntry();
            entry.context = context;
            entry.numerus = xml.attributes().value("numerus") == QLatin1String("yes");
        } else if (name == QLatin1String("source")) {
            entry.source = xml.readElementText();
        } else if (name == QLatin1String("translation")) {
            const QStringRef type = xml.attributes().value("type");
            entry.unfinished = type == QLatin1String("unfinished");
            const bool gone = type == QLatin1String("vanished") || type == QLatin1String("obsolete");
            entry.translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (!gone)
                pEntries->append(entry);
        }
    }
    if (xml.hasError()) {
        *pError = path + ": " + xml.errorString();
        return false;
    }
    return true;
}

QSet<QString> placeholders(const QString& text)
{
    QSet<QString> found;
    QRegularExpressionMatchIterator it = QRegularExpression("%L?\\d+").globalMatch(text);
    while (it.hasNext())
        found << it.next().captured(0);
    return found;
}

const QStringList kLanguages = {"zh", "ru"};

}  // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void sourcesAreCompleteAndConsistent();
    void oneTextReadsTheSameEverywhere();
    void catalogueLoadsAndTranslates_data();
    void catalogueLoadsAndTranslates();
};

void TestTranslations::sourcesAreCompleteAndConsistent()
{
    QMap<QString, QSet<QString>> keys;
    for (const QString& lang : kLanguages) {
        const QString path =
            QString(ORVELLE_SOURCE_DIR) + "/resources/translations/orvelle_" + lang + ".ts";
        QList<TsEntry> entries;
        QString error;
        QVERIFY2(readTs(path, &entries, &error), qPrintable(error));
        QVERIFY2(!entries.isEmpty(), qPrintable(path));
        QStringList problems;
        for (const TsEntry& e : entries) {
            const QString where = QString("%1: %2 / \"%3\"").arg(lang, e.context, e.source);
            if (e.unfinished)
                problems << where + " is unfinished";
            else if (e.translation.trimmed().isEmpty())
                problems << where + " has no translation";
            else if (!e.numerus && placeholders(e.source) != placeholders(e.translation))
                problems << where + " loses or adds a %n placeholder";
            keys[lang] << e.context + "\x1f" + e.source;
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }
    QCOMPARE(keys["zh"], keys["ru"]);
}

void TestTranslations::oneTextReadsTheSameEverywhere()
{
    // A box title, a button or a unit that reads one way in one box and
    // another way in the next looks like two different things. The only
    // text that means two things: the Local page opens a folder holding
    // recordings, the other dialogs choose where recordings are saved.
    const QSet<QString> twoMeanings = {"CDirManagePage\x1fSelect the path for record"};
    for (const QString& lang : kLanguages) {
        QList<TsEntry> entries;
        QString error;
        QVERIFY2(readTs(QString(ORVELLE_SOURCE_DIR) + "/resources/translations/orvelle_" + lang + ".ts", &entries,
                        &error),
                 qPrintable(error));
        QMap<QString, QMap<QString, QStringList>> bySource;  // source -> translation -> contexts
        for (const TsEntry& e : entries) {
            if (!e.numerus && !twoMeanings.contains(e.context + "\x1f" + e.source))
                bySource[e.source][e.translation] << e.context;
        }
        QStringList problems;
        for (auto it = bySource.constBegin(); it != bySource.constEnd(); ++it) {
            if (it.value().size() < 2)
                continue;
            QStringList ways;
            for (auto t = it.value().constBegin(); t != it.value().constEnd(); ++t)
                ways << QString("\"%1\" in %2").arg(t.key(), t.value().join(", "));
            problems << QString("%1: \"%2\" reads %3").arg(lang, it.key(), ways.join(" but "));
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }
}

void TestTranslations::catalogueLoadsAndTranslates_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("january");
    QTest::addColumn<QString>("sunday");
    QTest::newRow("Simplified Chinese") << "zh" << QString::fromUtf8("一月") << QString::fromUtf8("日");
    QTest::newRow("Russian") << "ru" << QString::fromUtf8("Январь") << QString::fromUtf8("Вс");
}

void TestTranslations::catalogueLoadsAndTranslates()
{
    QFETCH(QString, lang);
    QFETCH(QString, january);
    QFETCH(QString, sunday);
    const QString qm = QString(ORVELLE_BINARY_DIR) + "/language/orvelle_" + lang + ".qm";
    QVERIFY2(QFile::exists(qm), qPrintable(qm + " missing: build the orvelle_translations target"));
    QTranslator translator;
    QVERIFY(translator.load(qm));
    QVERIFY(!translator.isEmpty());
    QCOMPARE(translator.translate("CCalendar", "January"), january);
    QCOMPARE(translator.translate("CWeekWidget", "Sun"), sunday);
    QVERIFY(!translator.translate("CMessageBox", "OK").isEmpty());
    QVERIFY(!translator.translate("CTitleWidget", "Close").isEmpty());
    // Texts of other contexts are not taken over.
    QVERIFY(translator.translate("NoSuchContext", "January").isEmpty());
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
