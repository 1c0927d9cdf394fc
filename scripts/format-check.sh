#!/bin/sh
# Checks that every C++ file of the tree keeps the project's one style
# (.clang-format, clang-format 14). Fix a failure with:
#   git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "Format: $(git ls-files '*.cpp' '*.h' | wc -l) files follow .clang-format"
