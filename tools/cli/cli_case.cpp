#include "cli_case.h"

#include <QString>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace cli {

namespace {

bool parse_offset(const std::string &text, int *out)
{
    if (text.empty() || text.size() > 16)
        return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < -2000000000ll || v > 2000000000ll)
        return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

bool take_case_options(const std::vector<std::string> &args, CaseOptions *out, std::vector<std::string> *rest,
                       std::string *error)
{
    static const char *const valued[] = {"--case", "--examiner", "--evidence", "--notes", "--clock-offset"};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--no-report") {
            out->writeReport = false;
            continue;
        }
        std::string name = a, value;
        bool inline_value = false;
        const size_t eq = a.find('=');
        if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inline_value = true;
        }
        bool known = false;
        for (const char *v : valued)
            known = known || name == v;
        if (!known) {
            rest->push_back(a);
            continue;
        }
        if (!inline_value) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        const QString text = QString::fromLocal8Bit(value.c_str()).trimmed();
        if (name == "--case") {
            out->details.caseNumber = text;
        } else if (name == "--examiner") {
            out->details.examiner = text;
        } else if (name == "--evidence") {
            out->details.evidenceNumber = text;
        } else if (name == "--notes") {
            out->details.notes = text;
        } else if (!parse_offset(value, &out->details.clockOffsetS)) {
            *error = "--clock-offset needs a whole number of seconds (the recorder's clock minus true time), not \"" +
                     value + "\"";
            return false;
        }
    }
    return true;
}

void print_report_paths(const std::string &json, const std::string &html)
{
    if (!json.empty())
        std::printf("report: %s\n", json.c_str());
    if (!html.empty())
        std::printf("report: %s\n", html.c_str());
}

}  // namespace cli
