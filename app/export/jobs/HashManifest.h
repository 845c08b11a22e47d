// "SHA256SUMS": the list of hashes of an export folder.
//
// Every export and cut records there one line per file it wrote, in the form
// `sha256sum -c SHA256SUMS` checks when run in the folder:
//
//   <64 lower-case hex digits><space><space><path relative to the folder>
//
// A path holding a backslash, a line feed or a carriage return is written
// the way sha256sum writes it: the line starts with "\" and those characters
// become "\\", "\n" and "\r". Each path appears once: a file that a later job
// replaces gets its line replaced in place, a new file's line is appended.
// Lines this program does not understand (another tool's, or damaged) are
// kept as they are and otherwise ignored. Lines with "*" (sha256sum's binary
// mark) instead of the second space are read too and written back in the
// two-space form.
//
// Changing a folder's manifest: HashManifest::update() reads it, applies the
// change and writes it back through a QSaveFile (a crash leaves the old
// manifest or the new one, never half of one), all under a lock file in the
// folder, so that two jobs writing into one folder keep each other's lines.
//
// Checking a folder: HashManifest::verify() reads each listed file, on the
// calling thread (run it on a worker for large folders), and answers per
// file ok / missing / differs / unreadable, with a progress callback and a
// stop flag.
//
// QtCore only; the hashing is CSha256 (Sha256.h).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>

class HashManifest
{
public:
    // "SHA256SUMS"
    static const char kFileName[];

    struct Entry {
        QString strPath;   // relative to the folder, "/" between components
        QByteArray hash;   // 64 lower-case hex digits
    };

    // The manifest of a folder, empty until load().
    explicit HashManifest(const QString& strFolder);

    QString folder() const { return m_strFolder; }
    QString filePath() const;  // folder + "/SHA256SUMS"

    // Reads the folder's manifest. A folder without one reads as empty and
    // answers true; false (with the reason) when it exists but cannot be
    // read, or is larger than any manifest this program would write.
    bool load(QString* pError = nullptr);
    // True when load() found a manifest.
    bool exists() const { return m_bExists; }

    // The checksum lines, in file order.
    QVector<Entry> entries() const;
    // Lines that are not checksum lines (kept as they are when saving).
    int malformedLines() const { return m_nMalformed; }
    // The hash listed for a path; empty when none is.
    QByteArray hashOf(const QString& strPath) const;

    // Lists a path with its hash: replaces the line that names the path (and
    // drops any further ones that name it), else appends a line. False, and
    // nothing changes, for a path that sha256sum would not read back as the
    // same file (empty, absolute, or with an empty, "." or ".." component) or
    // a hash that is not 64 hex digits.
    bool set(const QString& strPath, const QByteArray& hash);
    // Removes the lines that name a path; false when none did.
    bool remove(const QString& strPath);

    // Writes the manifest (through a QSaveFile). A manifest left without a
    // line is removed instead of written empty.
    bool save(QString* pError = nullptr);

    // load(), change, save() under the folder's lock file. The change may
    // call set() and remove(). False (with the reason) when the lock could
    // not be had, the manifest could not be read or written.
    static bool update(const QString& strFolder, const std::function<void(HashManifest&)>& change,
                       QString* pError = nullptr);

    // One line without its line feed, escaped as sha256sum escapes.
    static QByteArray formatLine(const Entry& entry);
    // Parses one line (without its line feed). False for anything that is
    // not a checksum line.
    static bool parseLine(const QByteArray& line, Entry* pOut);

    // ---- Checking a folder against its manifest

    enum FileState {
        FileOk,          // read whole, the hash matches
        FileMissing,     // no such file
        FileDiffers,     // read whole, another hash
        FileUnreadable,  // there but not a readable regular file, or a path
                         // that leaves the folder
    };

    struct FileCheck {
        QString strPath;      // as listed
        FileState state = FileMissing;
        QByteArray expected;  // listed hash
        QByteArray actual;    // hash of the file as read (FileOk, FileDiffers)
        qint64 nBytes = 0;    // bytes read
        QString strError;     // why it could not be read (FileUnreadable)
    };

    struct CheckProgress {
        int nFile = 0;            // 0-based index of the file being read
        int nFiles = 0;           // files listed
        QString strPath;          // the file being read
        qint64 nBytesDone = 0;    // over all files, the current one included
        qint64 nBytesTotal = 0;   // sizes of the listed files that exist
    };
    using ProgressFn = std::function<void(const CheckProgress&)>;

    struct CheckResult {
        bool bFound = false;     // the folder has a manifest
        bool bReadable = false;  // and it could be read (else strError)
        bool bStopped = false;   // the stop flag ended the check early
        QString strError;
        int nMalformed = 0;      // lines that are not checksum lines
        QVector<FileCheck> files;  // one per checksum line, in file order,
                                   // up to where a stop ended the check
        // Found, readable, not stopped, and every file FileOk.
        bool allOk() const;
        // The checks whose state is not FileOk.
        QVector<FileCheck> problems() const;
    };

    // Checks every file the folder's manifest lists. progress (may be
    // empty) is called before each file and after each chunk read; pStop
    // (may be null) is polled between chunks.
    static CheckResult verify(const QString& strFolder, const ProgressFn& progress = ProgressFn(),
                              const std::atomic<bool>* pStop = nullptr);

    // Whether a listed path stays inside its folder (relative, no empty,
    // "." or ".." component).
    static bool isInsidePath(const QString& strPath);

private:
    struct Line {
        bool bEntry = false;
        Entry entry;
        QByteArray raw;  // the text of a line that is not a checksum line
    };

    QString m_strFolder;
    QVector<Line> m_lines;
    int m_nMalformed = 0;
    bool m_bExists = false;
};
