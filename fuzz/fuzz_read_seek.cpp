// Reading, seeking and cutting a recording through the name layer on a disk
// whose structure sectors are mutated. After the base selector the input
// carries a recording choice and a script of eight operations (opcode and
// 32-bit argument each); the rest is the structure overlay.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/records/catalogue/RecordCatalogue.h"
#include "fuzz/support/fuzz_disk.h"
#include "wfs/common/log.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/seek.h"
#include "wfs/file/wfs_time.h"

namespace {

constexpr size_t kOps = 8;
constexpr size_t kHeader = 1 + kOps * 5;
// Bytes read by one run at most (a whole small recording fits).
constexpr uint64_t kReadBudget = 16u << 20;

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

std::vector<uint8_t> default_script()
{
    // pick 0; read 4096; seek to 2 s in; read 64 KiB; seek back; tell;
    // cut 1..3 s; read to the end; open the neighbour channel.
    const uint8_t ops[kOps][5] = {{0, 0, 16, 0, 0}, {5, 2, 0, 0, 0},   {0, 0, 0, 1, 0}, {2, 0, 0, 0, 0x80},
                                  {4, 0, 0, 0, 0},  {8, 1, 2, 0, 0},   {9, 0, 0, 0, 0}, {10, 1, 0, 0, 0}};
    std::vector<uint8_t> h{0};
    for (const auto &op : ops)
        h.insert(h.end(), op, op + 5);
    return h;
}

void read_bytes(fs_file *f, uint32_t n, std::vector<uint8_t> &buf, uint64_t &budget)
{
    n = static_cast<uint32_t>(std::min<uint64_t>(n % (256u << 10), budget));
    if (buf.size() < n)
        buf.resize(n);
    size_t got = fs_fread(buf.data(), 1, n, f);
    budget -= std::min<uint64_t>(got, budget);
}

void run_script(fs_file *f, const file_info_v2 &fi, const uint8_t *script)
{
    std::vector<uint8_t> buf;
    uint64_t budget = kReadBudget;
    for (size_t i = 0; i < kOps; ++i) {
        const uint8_t op = script[i * 5];
        const uint32_t arg = le32(script + i * 5 + 1);
        switch (op % 11) {
        case 0: read_bytes(f, arg, buf, budget); break;
        case 1: fs_fseek(f, arg, SEEK_SET); break;
        case 2: fs_fseek(f, static_cast<int32_t>(arg), SEEK_CUR); break;
        case 3: fs_fseek(f, static_cast<int32_t>(arg), SEEK_END); break;
        case 4: fs_ftell(f); break;
        case 5: wfs_file_moveto_time(f, wfs_time_add(fi.start_time, arg % 100000)); break;
        case 6: wfs_file_move_second(f, arg & 1, arg >> 1); break;
        case 7: wfs_file_move_size(f, arg & 1, arg >> 1); break;
        case 8: {
            // A cut: from start + a seconds to start + a + b, read while the
            // current time is before the end.
            const wfs_time from = wfs_time_add(fi.start_time, arg & 0xFF);
            const wfs_time to = wfs_time_add(from, (arg >> 8) & 0xFF);
            if (wfs_file_moveto_time(f, from) != 0)
                break;
            for (int n = 0; n < 512 && budget > 0; ++n) {
                wfs_time now = 0;
                if (wfs_file_cur_time(f, &now) != 0 || now > to)
                    break;
                read_bytes(f, 32768, buf, budget);
            }
            break;
        }
        case 9:
            for (int n = 0; n < 1024 && budget > 0; ++n) {
                uint64_t before = budget;
                read_bytes(f, 32768, buf, budget);
                if (before == budget)
                    break;
            }
            break;
        case 10: {
            FileHandle *near = nullptr;
            if (fs_file_open_near(f, static_cast<uint8_t>(arg % 64), &near) == 0 && near)
                fs_fclose(near);
            break;
        }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    wfs_log_set_route(WFS_LOG_SILENT);
    if (fuzzdisk::write_seeds_if_asked(default_script()))
        std::exit(0);
    // Each base must list recordings, or there is nothing to read.
    for (const fuzzdisk::BaseImage &b : fuzzdisk::bases()) {
        fuzzdisk::attach_only(fuzzdisk::make_drive(b, nullptr, 0));
        CRecordCatalogue catalogue;
        catalogue.LoadDataFromDisk(catalogue.InitialiseDisks());
        std::fprintf(stderr, "fuzz: base %s: %zu recordings\n", b.name.c_str(), catalogue.Entries().size());
        fuzzdisk::unmount_all();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CatalogueEntry e;
    if (size >= 2 && fuzzdisk::pick_recording(data, size, kHeader, data[1], &e)) {
        if (fs_file *f = fs_fopen(e.path.c_str(), "rb")) {
            run_script(f, e.info, data + 2);
            fs_fclose(f);
        }
    }
    fuzzdisk::unmount_all();
    return 0;
}
