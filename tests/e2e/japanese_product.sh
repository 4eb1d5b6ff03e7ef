# Sourced by the tests that check vopa-pack.exe against the Linux build: a product
# folder of Japanese names and the options that pack it reproducibly.
#   makeJapaneseProduct FOLDER
makeJapaneseProduct() {
    "$(dirname "${BASH_SOURCE[0]}")/../../tools/make-sample.sh" "$1" >/dev/null
    mkdir -p "$1/ソース/共通/空のフォルダ"
    printf '説明書\r\n' | iconv -f UTF-8 -t CP932 > "$1/説明書.txt"
    printf 'int main(void) { return 0; }\n' > "$1/ソース/メイン.c"
    printf '#pragma once\n' > "$1/ソース/共通/定義.h"
    seq 1 500000 > "$1/ソース/番号.txt"  # over 2 MiB: packed in pieces, on threads
}
japaneseOptions=(--title 'Vopa 1.00 セットアップ' --program-files --folder Vopa --program Vopa.exe
                 --mtime 999148766 --level 7)
