// SHA-256 of a byte stream, through OpenSSL's libcrypto (which uses the
// processor's SHA extensions where it has them: several times the speed of a
// portable implementation, and hashing must keep up with an export).
//
// CSha256 is fed in order and answers the digest as 64 lower-case hex digits,
// the form "SHA256SUMS" and the examination report use. HashFile() reads a
// whole file; it is for checking a folder and for outputs whose bytes are
// patched after they were first written (MP4), never for what an export or
// a cut copies (those are hashed as they are written).
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

struct evp_md_ctx_st;  // libcrypto's EVP_MD_CTX

class CSha256
{
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void add(const void* pData, size_t nBytes);
    // The digest of everything added since the last reset; starts over.
    QByteArray finish();
    void reset();
    uint64_t bytes() const { return m_nBytes; }

    // Digest of a byte block, in one call.
    static QByteArray of(const void* pData, size_t nBytes);

private:
    evp_md_ctx_st* m_pCtx;
    uint64_t m_nBytes = 0;
};

// Bytes read and hashed so far, after each chunk.
using HashFileProgress = std::function<void(qint64 nDone)>;

struct HashFileResult {
    bool bOk = false;        // the whole file was read
    bool bStopped = false;   // *pStop was set; bOk is false
    QByteArray hash;         // digest of the whole file when bOk
    qint64 nBytes = 0;       // bytes read
    QString strError;        // why it could not be read
};

// Reads a regular file from its start to its end and hashes it. pStop (may
// be null) is polled between chunks.
HashFileResult HashFile(const QString& strPath, const HashFileProgress& progress = HashFileProgress(),
                        const std::atomic<bool>* pStop = nullptr);
