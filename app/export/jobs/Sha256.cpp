#include "app/export/jobs/Sha256.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <openssl/evp.h>

namespace {

// Bytes read per call while hashing a file.
const size_t kFileChunk = 1 << 20;

QByteArray toHex(const unsigned char* pDigest, unsigned nLength)
{
    return QByteArray(reinterpret_cast<const char*>(pDigest), int(nLength)).toHex();
}

}  // namespace

CSha256::CSha256() : m_pCtx(EVP_MD_CTX_new())
{
    reset();
}

CSha256::~CSha256()
{
    EVP_MD_CTX_free(m_pCtx);
}

void CSha256::reset()
{
    m_nBytes = 0;
    if (m_pCtx)
        EVP_DigestInit_ex(m_pCtx, EVP_sha256(), nullptr);
}

void CSha256::add(const void* pData, size_t nBytes)
{
    if (nBytes == 0 || !m_pCtx)
        return;
    EVP_DigestUpdate(m_pCtx, pData, nBytes);
    m_nBytes += nBytes;
}

QByteArray CSha256::finish()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    QByteArray hex;
    if (m_pCtx && EVP_DigestFinal_ex(m_pCtx, digest, &length) == 1)
        hex = toHex(digest, length);
    reset();
    return hex;
}

QByteArray CSha256::of(const void* pData, size_t nBytes)
{
    CSha256 sha;
    sha.add(pData, nBytes);
    return sha.finish();
}

HashFileResult HashFile(const QString& strPath, const HashFileProgress& progress, const std::atomic<bool>* pStop)
{
    HashFileResult r;
    const QByteArray path = QFile::encodeName(strPath);
    // Non-blocking, so that a name that turns out to be a pipe cannot hang
    // the open; only regular files are read.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        r.strError = QString::fromLocal8Bit(std::strerror(errno));
        return r;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        r.strError = QStringLiteral("not a regular file");
        ::close(fd);
        return r;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    CSha256 sha;
    std::vector<char> buffer(kFileChunk);
    for (;;) {
        if (pStop && pStop->load()) {
            r.bStopped = true;
            break;
        }
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            r.strError = QString::fromLocal8Bit(std::strerror(errno));
            break;
        }
        if (n == 0) {
            r.bOk = true;
            break;
        }
        sha.add(buffer.data(), size_t(n));
        r.nBytes += n;
        if (progress)
            progress(r.nBytes);
    }
    ::close(fd);
    if (r.bOk)
        r.hash = sha.finish();
    return r;
}
