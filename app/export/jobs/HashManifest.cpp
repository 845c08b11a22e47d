#include "app/export/jobs/HashManifest.h"

#include "app/export/jobs/Sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

const char HashManifest::kFileName[] = "SHA256SUMS";

namespace {

const int kHashDigits = 64;
// A manifest larger than this is not one this program wrote (a line is
// about 130 bytes: this is hundreds of thousands of files); it is refused
// rather than read into memory.
const qint64 kMaxManifestBytes = 64ll << 20;
// How long update() waits for another job's lock on the folder.
const int kLockWaitMs = 15000;

bool isHexDigest(const QByteArray& hash)
{
    if (hash.size() != kHashDigits)
        return false;
    for (char c : hash) {
        const bool digit = c >= '0' && c <= '9';
        const bool lower = c >= 'a' && c <= 'f';
        const bool upper = c >= 'A' && c <= 'F';
        if (!digit && !lower && !upper)
            return false;
    }
    return true;
}

// sha256sum's unescaping of a name on a line that starts with "\".
bool unescapeName(const QByteArray& in, QByteArray* pOut)
{
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i >= in.size())
            return false;
        switch (in[i]) {
        case '\\':
            out += '\\';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return false;
        }
    }
    *pOut = out;
    return true;
}

}  // namespace

HashManifest::HashManifest(const QString& strFolder) : m_strFolder(strFolder)
{
    m_strFolder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (m_strFolder.size() > 1 && m_strFolder.endsWith(QLatin1Char('/')))
        m_strFolder.chop(1);
    if (m_strFolder.isEmpty())
        m_strFolder = QStringLiteral(".");
}

QString HashManifest::filePath() const
{
    return m_strFolder + QLatin1Char('/') + QLatin1String(kFileName);
}

bool HashManifest::isInsidePath(const QString& strPath)
{
    if (strPath.isEmpty() || strPath.startsWith(QLatin1Char('/')))
        return false;
    const QStringList parts = strPath.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

QByteArray HashManifest::formatLine(const Entry& entry)
{
    const QByteArray name = QFile::encodeName(entry.strPath);
    const bool escape = name.contains('\\') || name.contains('\n') || name.contains('\r');
    QByteArray line;
    line.reserve(name.size() + kHashDigits + 4);
    if (escape)
        line += '\\';
    line += entry.hash.toLower();
    line += "  ";
    if (!escape) {
        line += name;
        return line;
    }
    for (char c : name) {
        if (c == '\\')
            line += "\\\\";
        else if (c == '\n')
            line += "\\n";
        else if (c == '\r')
            line += "\\r";
        else
            line += c;
    }
    return line;
}

bool HashManifest::parseLine(const QByteArray& lineIn, Entry* pOut)
{
    QByteArray line = lineIn;
    // A manifest that went through a Windows editor: sha256sum ignores the
    // carriage return at the end of a line, so do we.
    if (line.endsWith('\r'))
        line.chop(1);
    bool escaped = false;
    if (line.startsWith('\\')) {
        escaped = true;
        line.remove(0, 1);
    }
    if (line.size() < kHashDigits + 3)
        return false;
    const QByteArray hash = line.left(kHashDigits);
    if (!isHexDigest(hash) || line[kHashDigits] != ' ')
        return false;
    const char mark = line[kHashDigits + 1];
    if (mark != ' ' && mark != '*')
        return false;
    QByteArray name = line.mid(kHashDigits + 2);
    if (escaped && !unescapeName(name, &name))
        return false;
    if (name.isEmpty() || name.contains('\0'))
        return false;
    pOut->hash = hash.toLower();
    pOut->strPath = QFile::decodeName(name);
    return true;
}

bool HashManifest::load(QString* pError)
{
    m_lines.clear();
    m_nMalformed = 0;
    m_bExists = false;
    QFile file(filePath());
    if (!file.exists())
        return true;
    m_bExists = true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (pError)
            *pError = file.errorString();
        return false;
    }
    if (file.size() > kMaxManifestBytes) {
        if (pError)
            *pError = QStringLiteral("%1 is larger than %2 bytes").arg(file.fileName()).arg(kMaxManifestBytes);
        return false;
    }
    const QByteArray all = file.read(kMaxManifestBytes + 1);
    if (all.size() > kMaxManifestBytes) {
        if (pError)
            *pError = QStringLiteral("%1 is larger than %2 bytes").arg(file.fileName()).arg(kMaxManifestBytes);
        return false;
    }
    QList<QByteArray> texts = all.split('\n');
    if (!texts.isEmpty() && texts.last().isEmpty())
        texts.removeLast();  // the final line feed
    for (const QByteArray& text : qAsConst(texts)) {
        Line line;
        if (parseLine(text, &line.entry)) {
            line.bEntry = true;
        } else {
            line.raw = text;
            if (!text.trimmed().isEmpty())
                ++m_nMalformed;
        }
        m_lines.append(line);
    }
    return true;
}

QVector<HashManifest::Entry> HashManifest::entries() const
{
    QVector<Entry> out;
    for (const Line& line : m_lines) {
        if (line.bEntry)
            out.append(line.entry);
    }
    return out;
}

QByteArray HashManifest::hashOf(const QString& strPath) const
{
    for (const Line& line : m_lines) {
        if (line.bEntry && line.entry.strPath == strPath)
            return line.entry.hash;
    }
    return QByteArray();
}

bool HashManifest::set(const QString& strPath, const QByteArray& hash)
{
    if (!isInsidePath(strPath) || !isHexDigest(hash) || strPath.contains(QChar(0)))
        return false;
    bool placed = false;
    for (int i = 0; i < m_lines.size();) {
        Line& line = m_lines[i];
        if (line.bEntry && line.entry.strPath == strPath) {
            if (placed) {
                m_lines.removeAt(i);
                continue;
            }
            line.entry.hash = hash.toLower();
            placed = true;
        }
        ++i;
    }
    if (!placed) {
        Line line;
        line.bEntry = true;
        line.entry.strPath = strPath;
        line.entry.hash = hash.toLower();
        m_lines.append(line);
    }
    return true;
}

bool HashManifest::remove(const QString& strPath)
{
    bool removed = false;
    for (int i = 0; i < m_lines.size();) {
        if (m_lines[i].bEntry && m_lines[i].entry.strPath == strPath) {
            m_lines.removeAt(i);
            removed = true;
        } else {
            ++i;
        }
    }
    return removed;
}

bool HashManifest::save(QString* pError)
{
    bool anyLine = false;
    QByteArray text;
    for (const Line& line : qAsConst(m_lines)) {
        if (line.bEntry) {
            text += formatLine(line.entry);
            anyLine = true;
        } else {
            text += line.raw;
            anyLine = anyLine || !line.raw.trimmed().isEmpty();
        }
        text += '\n';
    }
    if (!anyLine) {
        QFile file(filePath());
        if (file.exists() && !file.remove()) {
            if (pError)
                *pError = file.errorString();
            return false;
        }
        m_bExists = false;
        return true;
    }
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        if (pError)
            *pError = file.errorString();
        file.cancelWriting();
        return false;
    }
    m_bExists = true;
    return true;
}

bool HashManifest::update(const QString& strFolder, const std::function<void(HashManifest&)>& change,
                          QString* pError)
{
    HashManifest manifest(strFolder);
    QLockFile lock(manifest.filePath() + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs)) {
        if (pError)
            *pError = lock.error() == QLockFile::LockFailedError
                          ? QStringLiteral("%1 is locked by another job").arg(manifest.filePath())
                          : QStringLiteral("%1 cannot be locked").arg(manifest.filePath());
        return false;
    }
    if (!manifest.load(pError))
        return false;
    change(manifest);
    return manifest.save(pError);
}

bool HashManifest::CheckResult::allOk() const
{
    if (!bFound || !bReadable || bStopped)
        return false;
    for (const FileCheck& f : files) {
        if (f.state != FileOk)
            return false;
    }
    return true;
}

QVector<HashManifest::FileCheck> HashManifest::CheckResult::problems() const
{
    QVector<FileCheck> out;
    for (const FileCheck& f : files) {
        if (f.state != FileOk)
            out.append(f);
    }
    return out;
}

HashManifest::CheckResult HashManifest::verify(const QString& strFolder, const ProgressFn& progress,
                                               const std::atomic<bool>* pStop)
{
    CheckResult result;
    HashManifest manifest(strFolder);
    if (!manifest.load(&result.strError)) {
        result.bFound = true;
        return result;
    }
    result.bFound = manifest.exists();
    result.bReadable = result.bFound;
    if (!result.bFound)
        return result;
    result.nMalformed = manifest.malformedLines();
    const QVector<Entry> list = manifest.entries();

    CheckProgress at;
    at.nFiles = list.size();
    for (const Entry& e : list) {
        if (isInsidePath(e.strPath)) {
            const QFileInfo info(manifest.folder() + QLatin1Char('/') + e.strPath);
            if (info.isFile())
                at.nBytesTotal += info.size();
        }
    }
    qint64 before = 0;  // bytes of the files already checked
    for (int i = 0; i < list.size(); ++i) {
        if (pStop && pStop->load()) {
            result.bStopped = true;
            break;
        }
        const Entry& e = list.at(i);
        FileCheck check;
        check.strPath = e.strPath;
        check.expected = e.hash;
        at.nFile = i;
        at.strPath = e.strPath;
        at.nBytesDone = before;
        if (progress)
            progress(at);
        const QString path = manifest.folder() + QLatin1Char('/') + e.strPath;
        if (!isInsidePath(e.strPath)) {
            check.state = FileUnreadable;
            check.strError = QStringLiteral("the path leaves the folder");
        } else if (!QFileInfo::exists(path)) {
            check.state = FileMissing;
        } else {
            HashFileProgress step;
            if (progress) {
                step = [&](qint64 nDone) {
                    at.nBytesDone = before + nDone;
                    progress(at);
                };
            }
            const HashFileResult h = HashFile(path, step, pStop);
            check.nBytes = h.nBytes;
            before += h.nBytes;
            if (h.bStopped) {
                result.bStopped = true;
                break;
            }
            if (!h.bOk) {
                check.state = FileUnreadable;
                check.strError = h.strError;
            } else {
                check.actual = h.hash;
                check.state = h.hash == e.hash ? FileOk : FileDiffers;
            }
        }
        result.files.append(check);
    }
    return result;
}
