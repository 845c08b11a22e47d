// The options export, cut and range share for their examination report:
//   --case TEXT  --examiner TEXT  --evidence TEXT  --notes TEXT
//   --clock-offset SECONDS   (the recorder's clock minus true time)
//   --no-report              (write no report; the hashes are still written)
// Each takes its value as the next word or after "=".
#pragma once

#include "app/export/jobs/CaseDetails.h"

#include <string>
#include <vector>

namespace cli {

struct CaseOptions {
    CaseDetails details;
    bool writeReport = true;
};

// Takes the case options out of args (the rest stays in order in *rest).
// False with the reason in *error for a missing value or a clock offset
// that is not a whole number of seconds within about 68 years.
bool take_case_options(const std::vector<std::string> &args, CaseOptions *out, std::vector<std::string> *rest,
                       std::string *error);

// Prints the reports a job wrote ("report: PATH", JSON then HTML) on stdout.
void print_report_paths(const std::string &json, const std::string &html);

}  // namespace cli
