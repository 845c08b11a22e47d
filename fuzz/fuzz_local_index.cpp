// A local export folder's "index.data" with arbitrary content: every line is
// read, parsed as a recording path and as a recording's times. A line that
// parses must stay inside the folder and name a real day and channel.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "app/export/jobs/CutRange.h"
#include "app/records/LocalIndex.h"

namespace {

QString index_file()
{
    static QTemporaryDir *dir = new QTemporaryDir;
    return dir->path() + "/index.data";
}

void write_seed(const char *dir)
{
    const char text[] =
        "idea0/2024-05-01/000/10.00.00-10.05.00[R][@40][0].h264\r\n"
        "idea0/2024-05-01/003/23.59.30-00.00.30[R][@1c0][0].h264\n"
        "idec1/2023-01-02/015/00.00.00-00.00.01[A][@40][1].h264\n\n";
    const std::string path = std::string(dir) + "/seed_0";
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text, 1, sizeof text - 1, f);
        std::fclose(f);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (const char *dir = std::getenv("ORVELLE_FUZZ_SEED_DIR")) {
        write_seed(dir);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = index_file();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QStringList lines;
    if (!ReadIndexData(path, &lines))
        return 0;
    for (const QString &line : lines) {
        if (line.isEmpty() || line.contains(QLatin1Char('\n')))
            std::abort();
        LocalRecordPath parsed;
        if (ParseLocalRecordPath(line, &parsed)) {
            if (!parsed.date.isValid() || parsed.nChannel < 0 || parsed.nChannel > 999 ||
                parsed.strName.isEmpty() || parsed.strName.contains(QLatin1Char('/')) ||
                parsed.strName == QLatin1String("..") || parsed.strName == QLatin1String("."))
                std::abort();
        }
        RecordSpan span;
        if (RecordSpanFromPath(QStringLiteral("/x/") + line, &span)) {
            if (!span.date.isValid() || span.nStart < 0 || span.nStart >= 86400 || span.nEnd < span.nStart ||
                span.nEnd >= 2 * 86400)
                std::abort();
            CutRange r;
            if (MakeCutRange(span, span.nStart, span.nEnd % 86400, &r) && (r.nEnd < r.nStart))
                std::abort();
        }
    }
    return 0;
}
