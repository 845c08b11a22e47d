// The Local page over real export folders: reading "index.data" with
// duplicates, missing files, CR LF and LF ends, a two-digit partition and
// hostile lines; the tree it builds; the notices for a folder without index
// or files; play, sync play and the menu on local paths; and the calendar's
// local days, which each new folder replaces.
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

#include "app/records/Calendar.h"
#include "app/records/CalendarDateWidget.h"
#include "app/records/CalendarWidget.h"
#include "app/records/DirManagePage.h"
#include "app/records/LocalFolderCheck.h"
#include "app/records/LocalIndex.h"
#include "app/records/MyTreeView.h"
#include "app/records/RecordTreeRoles.h"
#include "app/shell/FancyMessageBox.h"
#include "app/shell/GlobalAppData.h"

#include <cstdlib>

namespace {

const char* const kA = "idea0/2024-05-01/000/08.00.00-09.00.00[R][@1a0][0].h264";
const char* const kB = "idea0/2024-05-01/000/09.30.00-09.40.00[M][@2c0][0].h264";
const char* const kC = "idea0/2024-05-01/002/08.30.00-08.50.00[R][@300][0].h264";
const char* const kD = "ideb1/2024-04-20/001/10.00.00-10.01.00[A][@400][0].h264";

bool touch(const QString& path)
{
    QDir().mkpath(path.section('/', 0, -2));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("\0\0\1\xfc", 4) == 4;
}

bool writeIndex(const QString& dir, const QByteArray& text)
{
    QFile f(dir + "/index.data");
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// A file of `bytes` bytes that differ from file to file.
bool writeContent(const QString& path, int bytes, char seed)
{
    QDir().mkpath(path.section('/', 0, -2));
    QByteArray data(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        data[i] = char(seed + i * 7 + i / 251);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == bytes;
}

// The recording item whose file name is `name`, depth first.
QStandardItem* findRecord(QStandardItem* pItem, const QString& name)
{
    if (pItem->data(LevelRole).toInt() == RecordLevel && pItem->data(KeyRole).toString() == name)
        return pItem;
    for (int i = 0; i < pItem->rowCount(); ++i) {
        if (QStandardItem* p = findRecord(pItem->child(i), name))
            return p;
    }
    return nullptr;
}

QStringList childTexts(QStandardItem* pItem)
{
    QStringList out;
    for (int i = 0; i < pItem->rowCount(); ++i)
        out << pItem->child(i)->text();
    return out;
}

}  // namespace

class TestLocalPage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_app;

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules("default.debug=false");
        QVERIFY(m_app.isValid());
        CGlobalAppData::setAppDir(m_app.path());
        CGlobalAppData::instance();
    }

    void relativePathForms()
    {
        LocalRecordPath p;
        QVERIFY(ParseLocalRecordPath(kD, &p));
        QCOMPARE(p.strIde, QString("ideb1"));
        QCOMPARE(p.nPart, 1);
        QCOMPARE(p.date, QDate(2024, 4, 20));
        QCOMPARE(p.nChannel, 1);
        QCOMPARE(p.strName, QString("10.00.00-10.01.00[A][@400][0].h264"));
        QVERIFY(!ParseLocalRecordPath("idea10/2024-05-01/000/x.h264", nullptr));   // two-digit partition
        QVERIFY(!ParseLocalRecordPath("idea0/2024-02-30/000/x.h264", nullptr));    // no such day
        QVERIFY(!ParseLocalRecordPath("idea0/2024-05-01/000/../../x", nullptr));   // leaves the folder
        QVERIFY(!ParseLocalRecordPath("idea0/2024-05-01/000/..", nullptr));
        QVERIFY(!ParseLocalRecordPath("idea0/2024-05-01/000/", nullptr));
        QVERIFY(!ParseLocalRecordPath("/etc/passwd", nullptr));
    }

    void indexWithDuplicatesMissingFilesAndBadLines()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        for (const char* rel : {kA, kB, kC, kD})
            QVERIFY(touch(root + "/" + rel));
        QVERIFY(touch(root + "/idea10/2024-05-01/000/08.00.00-08.10.00[R][@500][0].h264"));
        QByteArray index;
        index += QByteArray(kA) + "\r\n";
        index += QByteArray(kC) + "\r\n";
        index += QByteArray(kA) + "\r\n";                                        // exported twice
        index += "idea0/2024-05-01/000/11.00.00-11.10.00[R][@600][0].h264\r\n"; // file gone
        index += "idea10/2024-05-01/000/08.00.00-08.10.00[R][@500][0].h264\r\n";
        index += "garbage\r\n\r\n";
        index += QByteArray(kB) + "\n";                                         // LF alone
        index += QByteArray(kD);                                                // no line end
        QVERIFY(writeIndex(root, index));

        CDirManagePage page;
        CGlobalAppData::instance()->setCurrentDate(QDate(2020, 1, 1));
        QVERIFY(page.LoadLocalDir(root + "/"));
        QVERIFY(page.isLoaded());
        QCOMPARE(page.directory(), root);
        QStandardItemModel* m = page.model();
        QCOMPARE(m->rowCount(), 1);
        QStandardItem* folder = m->item(0);
        QCOMPARE(folder->text(), root);
        QCOMPARE(folder->data(LevelRole).toInt(), 0);
        QCOMPARE(folder->data(KeyRole).toString(), root);
        QCOMPARE(childTexts(folder), (QStringList{"idea0", "ideb1"}));
        QStandardItem* ide = folder->child(0);
        QCOMPARE(ide->data(KeyRole).toString(), QString("idea0"));
        QCOMPARE(ide->data(DiskRole).toString(), root);
        QCOMPARE(childTexts(ide), QStringList{"2024-05-01"});
        QStandardItem* date = ide->child(0);
        QCOMPARE(date->data(PartRole).toString(), QString("idea0"));
        QCOMPARE(date->data(DateRole).toDate(), QDate(2024, 5, 1));
        QCOMPARE(childTexts(date), (QStringList{"001", "003"}));
        QStandardItem* ch1 = date->child(0);
        QCOMPARE(ch1->data(KeyRole).toInt(), 0);
        // kA once, in path order with kB.
        QCOMPARE(childTexts(ch1), (QStringList{QString(kA).mid(21), QString(kB).mid(21)}));
        QStandardItem* r = ch1->child(0);
        QCOMPARE(r->data(LevelRole).toInt(), 4);
        QCOMPARE(r->data(ChannelRole).toInt(), 0);
        QCOMPARE(r->toolTip(), r->text());
        QCOMPARE(page.recordingPath(r->index()), root + "/" + kA);
        QVERIFY(QFile::exists(page.recordingPath(ch1->child(1)->index())));
        QCOMPARE(page.recordingPath(folder->child(1)->child(0)->child(0)->child(0)->index()), root + "/" + kD);

        // The folder's latest date is current (a later current date would
        // stay); the local calendar marks the folder's
        // days and the disk days stay apart.
        CGlobalAppData* app = CGlobalAppData::instance();
        QCOMPARE(app->currentDate, QDate(2024, 5, 1));
        QVERIFY(app->hasRecordDate(CGlobalAppData::LocalDates, QDate(2024, 4, 20)));
        QVERIFY(!app->hasRecordDate(CGlobalAppData::DiskDates, QDate(2024, 4, 20)));
        CDateWidget* days = page.calendar()->calendarWidget()->dateWidget();
        QList<int> marked;
        for (int i = 0; i < CDateWidget::kCells; ++i)
            if (days->isMarked(i))
                marked << days->cellDate(i).day();
        QCOMPARE(marked, QList<int>{1});

        // Menu on recordings only; play and sync play use local paths.
        QVERIFY(!page.buildContextMenu(date->index()));
        QMenu* menu = page.buildContextMenu(r->index());
        QVERIFY(menu);
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << a->text();
        delete menu;
        QCOMPARE(texts, (QStringList{"Play", "Cut", "Sync Play"}));

        QSignalSpy play(&page, &CDirManagePage::playRecord);
        page.onRecordTreeDoubleClicked(r->index());
        QCOMPARE(play.count(), 1);
        QCOMPARE(play.at(0).at(0).toString(), root + "/" + kA);

        QSignalSpy mode(&page, &CDirManagePage::changeWndMode);
        page.setCurrentRecordIndex(r->index());
        page.onSyncPlay();
        QCOMPARE(mode.count(), 1);
        QCOMPARE(mode.at(0).at(0).toInt(), 3);
        QCOMPARE(app->syncQueue.value(0), (QStringList{root + "/" + kA, root + "/" + kB}));
        QCOMPARE(app->syncQueue.value(2), QStringList{root + "/" + kC});
        app->clearSyncQueue(-1);

        // Selecting a playing file finds it by name.
        page.onSelectRecord(root + "/" + kC);
        QCOMPARE(page.treeView()->currentIndex(), date->child(1)->child(0)->index());
    }

    void mouseOnTheTree()
    {
        QTemporaryDir dir;
        QVERIFY(touch(dir.path() + "/" + kA));
        QVERIFY(writeIndex(dir.path(), QByteArray(kA) + "\r\n"));
        CDirManagePage page;
        page.resize(300, 600);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(page.LoadLocalDir(dir.path()));
        CMyTreeView* view = page.treeView();
        view->expandAll();
        QStandardItem* r = page.model()->item(0)->child(0)->child(0)->child(0)->child(0);
        const QPoint pos = view->visualRect(r->index()).center();

        // A right press makes the row current and opens the recording's menu.
        QSignalSpy right(view, &CMyTreeView::rightClicked);
        QStringList shown;
        QTimer::singleShot(100, [&]() {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                for (QAction* a : popup->actions())
                    shown << a->text();
                popup->close();
            }
        });
        QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier, pos);
        QCOMPARE(right.count(), 1);
        QCOMPARE(right.at(0).at(0).value<QModelIndex>(), r->index());
        QCOMPARE(view->currentIndex(), r->index());
        QCOMPARE(page.currentRecordIndex(), r->index());
        QCOMPARE(shown, (QStringList{"Play", "Cut", "Sync Play"}));

        // A double click plays it; a left press reports the row.
        QSignalSpy left(view, &CMyTreeView::leftClicked);
        QSignalSpy play(&page, &CDirManagePage::playRecord);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
        QCOMPARE(left.count(), 1);
        QCOMPARE(left.at(0).at(0).value<QModelIndex>(), r->index());
        QCOMPARE(play.count(), 0);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
        QCOMPARE(play.count(), 1);
        QCOMPARE(play.at(0).at(0).toString(), dir.path() + "/" + kA);
    }

    void folderIsCheckedAgainstItsSha256Sums()
    {
        // An export folder with a manifest written by sha256sum itself, and a
        // large file that keeps the check busy for a while.
        QTemporaryDir dir;
        const QString root = dir.path();
        QVERIFY(writeContent(root + "/" + kA, 70000, 'a'));
        QVERIFY(writeContent(root + "/" + kB, 90000, 'b'));
        QVERIFY(writeContent(root + "/" + kC, 50000, 'c'));
        QVERIFY(writeIndex(root, QByteArray(kA) + "\r\n" + kB + "\r\n" + kC + "\r\n"));
        {
            QFile big(root + "/large.bin");
            QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(400) << 20));
        }
        const QString cmd = QString("cd '%1' && sha256sum '%2' '%3' '%4' large.bin > SHA256SUMS")
                                .arg(root, kA, kB, kC);
        QCOMPARE(std::system(cmd.toLocal8Bit().constData()), 0);
        // One byte of B changes; C goes.
        {
            QFile f(root + "/" + kB);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(45000));
            char c = 0;
            QVERIFY(f.getChar(&c) && f.seek(45000) && f.putChar(char(c ^ 0x20)));
        }
        QVERIFY(QFile::remove(root + "/" + kC));

        FancyMessageBox::message("before");
        CDirManagePage page;
        QVERIFY(page.LoadLocalDir(root));
        // The tree is there at once; the files are read on the check's own
        // thread meanwhile.
        QVERIFY(page.isLoaded());
        QVERIFY(page.folderCheck()->isRunning());
        QCOMPARE(FancyMessageBox::instance()->text(), QString("before"));
        QTRY_VERIFY_WITH_TIMEOUT(!page.folderCheck()->isRunning(), 60000);

        QStandardItem* folder = page.model()->item(0);
        QStandardItem* a = findRecord(folder, QString(kA).section('/', -1));
        QStandardItem* b = findRecord(folder, QString(kB).section('/', -1));
        QVERIFY(a && b);
        QVERIFY(!findRecord(folder, QString(kC).section('/', -1)));
        QVERIFY(b->icon().cacheKey() == page.mismatchIcon().cacheKey());
        QVERIFY(b->toolTip().contains("does not match its hash in SHA256SUMS"));
        QVERIFY(page.treeView()->isExpanded(b->parent()->index()));
        QVERIFY(page.treeView()->isExpanded(folder->index()));
        QVERIFY(a->icon().cacheKey() != page.mismatchIcon().cacheKey());
        QVERIFY(!a->toolTip().contains("SHA256SUMS"));
        QCOMPARE(FancyMessageBox::instance()->text(),
                 QString("SHA256SUMS: 2 of the 4 files listed are missing or do not match"));

        // Repaired, the folder checks clean.
        QCOMPARE(std::system(QString("cd '%1' && sha256sum '%2' '%3' > SHA256SUMS").arg(root, kA, kB)
                                 .toLocal8Bit().constData()),
                 0);
        QVERIFY(page.LoadLocalDir(root));
        QTRY_VERIFY_WITH_TIMEOUT(!page.folderCheck()->isRunning(), 60000);
        b = findRecord(page.model()->item(0), QString(kB).section('/', -1));
        QVERIFY(b && b->icon().cacheKey() != page.mismatchIcon().cacheKey());
        QCOMPARE(FancyMessageBox::instance()->text(), QString("SHA256SUMS: all 2 files of this folder match"));

        // Another folder chosen while a check runs: the old check ends and
        // says nothing; a folder without SHA256SUMS is added as before.
        QCOMPARE(std::system(QString("cd '%1' && sha256sum '%2' '%3' large.bin > SHA256SUMS").arg(root, kA, kB)
                                 .toLocal8Bit().constData()),
                 0);
        QVERIFY(page.LoadLocalDir(root));
        QVERIFY(page.folderCheck()->isRunning());
        QTemporaryDir plain;
        QVERIFY(touch(plain.path() + "/" + kD));
        QVERIFY(writeIndex(plain.path(), QByteArray(kD) + "\n"));
        FancyMessageBox::message("switched");
        QVERIFY(page.LoadLocalDir(plain.path()));
        QVERIFY(!page.folderCheck()->isRunning());
        QTest::qWait(300);
        QCOMPARE(FancyMessageBox::instance()->text(), QString("switched"));
        QCOMPARE(page.model()->rowCount(), 1);
    }

    void folderWithoutIndexOrFiles()
    {
        QTemporaryDir first;
        QVERIFY(touch(first.path() + "/" + kD));
        QVERIFY(writeIndex(first.path(), QByteArray(kD) + "\r\n"));
        CDirManagePage page;
        QVERIFY(page.LoadLocalDir(first.path()));
        CGlobalAppData* app = CGlobalAppData::instance();
        QVERIFY(app->hasRecordDate(CGlobalAppData::LocalDates, QDate(2024, 4, 20)));

        // No "index.data": the tree and the local days empty.
        QTemporaryDir empty;
        QVERIFY(!page.LoadLocalDir(empty.path()));
        QCOMPARE(page.model()->rowCount(), 0);
        QVERIFY(!page.isLoaded());
        QVERIFY(!app->hasRecordDate(CGlobalAppData::LocalDates, QDate(2024, 4, 20)));

        // An index whose files are all gone.
        QTemporaryDir gone;
        QVERIFY(writeIndex(gone.path(), QByteArray(kA) + "\r\n" + kB + "\r\n"));
        QVERIFY(!page.LoadLocalDir(gone.path()));
        QCOMPARE(page.model()->rowCount(), 0);

        // Files deleted after loading stay until the folder is read again.
        QVERIFY(page.LoadLocalDir(first.path()));
        QVERIFY(QFile::remove(first.path() + "/" + kD));
        QCOMPARE(page.model()->item(0)->rowCount(), 1);

        // An index far larger than any export writes is refused, not read
        // into memory (a sparse file: no disk space is used).
        QTemporaryDir huge;
        QVERIFY(touch(huge.path() + "/" + kA));
        {
            QFile f(huge.path() + "/index.data");
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write(QByteArray(kA) + "\n") > 0);
            QVERIFY(f.resize(kMaxIndexDataBytes + 1));
        }
        QStringList lines;
        QVERIFY(!ReadIndexData(huge.path() + "/index.data", &lines));
        QVERIFY(!page.LoadLocalDir(huge.path()));
        QCOMPARE(page.model()->rowCount(), 0);

        // A line holding a NUL is no path, even when the text before the NUL
        // names a file of the folder.
        QVERIFY(writeIndex(huge.path(), QByteArray(kA) + QByteArray(1, '\0') + "x\n" + QByteArray(1, '\0') + "\n"));
        QVERIFY(ReadIndexData(huge.path() + "/index.data", &lines));
        QVERIFY(lines.isEmpty());
        QVERIFY(!page.LoadLocalDir(huge.path()));
        QCOMPARE(page.model()->rowCount(), 0);
    }
};

QTEST_MAIN(TestLocalPage)
#include "tst_local_page.moc"
