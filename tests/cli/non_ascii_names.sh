#!/usr/bin/env bash
# fabricor-cli, the Linux program or the Windows one under Wine, works on a project whose folder
# and workspace have names beyond ASCII ("Pumpstation Süd" in "Arbeitsplatz Größe"): it makes a
# project there from the golden firmware, checks, builds and updates one, reports on it, and the
# files it writes equal the golden ones byte for byte.
#   non_ascii_names.sh GOLDEN_FOLDER PROGRAM [RUNNER...]
source "$(dirname "$0")/golden_script.sh"
workspace="$work/Arbeitsplatz Größe"
project="$workspace/PROJECTS/Pumpstation Süd"
made="$workspace/PROJECTS/Pumpstation Süd (gelesen)"
master="$workspace/MASTER Ü"
golden_project "$project" "$master"

# The golden project holds a row the editors refuse: check must have read it to say so.
"${runner[@]}" "$program" check "$(native "$project")" >"$work/out.txt" 2>&1 || true
if grep -q "var.xml row 2 Data Type" "$work/out.txt"; then
    echo "check: read the documents in Pumpstation Süd"
else
    echo "check did not read the documents:" >&2
    cat "$work/out.txt" >&2
    status=1
fi

run build build "$(native "$project")" --time 2026-12-08T14:35:47
same "$golden/bank1.bin" "$project/bin/bank1.bin" "build: bin/bank1.bin"
same "$golden/bankg.c" "$project/bin/bankg.c" "build: bin/bankg.c"
rm -f "$project/bin/bank1.bin" "$project/bin/bankg.c"

run update update "$(native "$project")" --master "$(native "$master")" \
    --time 2026-12-08T14:35:47
same "$golden/bank1.bin" "$project/bin/bank1.bin" "update: bin/bank1.bin"
same "$golden/bankg.c" "$project/bin/bankg.c" "update: bin/bankg.c"
same "$golden/New_SX30418.sx" "$project/New_SX30418.sx" "update: New_SX30418.sx"

run verify verify "$(native "$project")" --master "$(native "$master")"

# The report names the project by its folder, as UTF-8 text.
run report report "$(native "$project")" --output "$(native "$workspace/Bericht Süd.html")"
if grep -q "Pumpstation Süd" "$workspace/Bericht Süd.html"; then
    echo "report: names the project Pumpstation Süd"
else
    echo "report: the project's name is not in Bericht Süd.html" >&2
    status=1
fi

# A project made from the firmware in a new folder of that name builds the same image.
run decode decode "$(native "$project/New_SX30418.sx")" --output "$(native "$made")"
run "build of the decoded project" build "$(native "$made")" --time 2026-12-08T14:35:47
same "$golden/bank1.bin" "$made/bin/bank1.bin" "decode, build: bin/bank1.bin"
exit $status
