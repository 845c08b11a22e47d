// The output file of an export or a cut, hashed on the bytes as they are
// written.
//
// Every byte the file system accepted goes into the SHA-256 in the order it
// was written; a write that takes only part of a block hashes that part and
// answers false. close() checks that the file on disk holds as many bytes
// as were counted (buffered bytes that could not be flushed show as a short
// file): only then is the hash the hash of the file, and hashValid() true.
//
// The hashing runs beside the writing: the bytes written are copied into one
// of a few blocks of kBlockBytes that a hashing thread of the writer takes
// in order (the caller waits only when every block is still queued), so that
// on two cores the hash costs the copy little more than that memory copy.
// close() waits for the hash of the last byte.
//
// The output is always a local file, created or truncated by open(). One
// writer is used by one thread at a time.
#pragma once

#include "app/export/jobs/Sha256.h"
#include "app/fs/CFSFile.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class CHashingWriter
{
public:
    // Bytes handed to the hashing thread at a time, and blocks at most.
    static const size_t kBlockBytes = 1 << 20;
    static const int kBlocks = 4;

    CHashingWriter() = default;
    ~CHashingWriter();
    CHashingWriter(const CHashingWriter&) = delete;
    CHashingWriter& operator=(const CHashingWriter&) = delete;

    // Creates (or truncates) the file; false when it cannot be.
    bool open(const QString& strPath);
    // Writes the whole block; false when the file took less (what it took
    // is counted and hashed).
    bool write(const void* pData, size_t nBytes);
    // Closes the file and compares its size with the bytes written. True
    // when they agree; then hash() is the file's hash.
    bool close();

    QString path() const { return m_strPath; }
    bool isOpen() const { return m_bOpen; }
    uint64_t bytes() const { return m_nBytes; }
    // The digest of the bytes written, as 64 hex digits; empty until close()
    // found the file whole.
    QByteArray hash() const { return m_bHashValid ? m_hash : QByteArray(); }
    bool hashValid() const { return m_bHashValid; }

private:
    // Hands the filling block to the hashing thread (starting it on first
    // use) and takes a free one, waiting while none is.
    void handOver();
    void hashLoop();
    void stopHashing();

    CFSFile m_file;
    CSha256 m_sha;      // used by the hashing thread while it runs
    std::vector<char> m_fill;  // the block being filled
    std::thread m_thread;
    std::mutex m_mutex;        // guards the queues and m_bClosing
    std::condition_variable m_wake;
    std::deque<std::vector<char>> m_queued;
    std::vector<std::vector<char>> m_free;
    int m_nBlocks = 0;         // blocks made so far
    bool m_bClosing = false;
    QString m_strPath;
    QByteArray m_hash;
    uint64_t m_nBytes = 0;
    bool m_bOpen = false;
    bool m_bHashValid = false;
};
