#!/bin/bash
# Refreshes resources/translations/orvelle_zh.ts and orvelle_ru.ts from the
# texts in app/ (every tr() call). New texts arrive unfinished: translate them
# (Qt Linguist, or by editing the .ts files) before committing; the
# translation test fails while an entry is unfinished. Texts that no longer
# occur in the sources are dropped.
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=$(command -v lupdate || echo /usr/lib/qt5/bin/lupdate)
"$lupdate" -no-obsolete -locations none -extensions cpp,h -I . app \
    -ts resources/translations/orvelle_zh.ts resources/translations/orvelle_ru.ts
