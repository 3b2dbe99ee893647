#!/usr/bin/env bash
# fabricor-cli, the Linux program or the Windows one under Wine, builds and updates a copy of the
# golden project: bank1.bin, bankg.c and New_SX30418.sx must equal the golden files byte for
# byte, which the Linux build made. Passing in both builds shows they give the same bytes.
#   golden_update.sh GOLDEN_FOLDER PROGRAM [RUNNER...]
source "$(dirname "$0")/golden_script.sh"
golden_project "$work/Pumpstation" "$work/MASTER"
run update update "$(native "$work/Pumpstation")" --master "$(native "$work/MASTER")" \
    --time 2026-12-08T14:35:47
same "$golden/bank1.bin" "$work/Pumpstation/bin/bank1.bin" "bank1.bin"
same "$golden/bankg.c" "$work/Pumpstation/bin/bankg.c" "bankg.c"
same "$golden/New_SX30418.sx" "$work/Pumpstation/New_SX30418.sx" "New_SX30418.sx"
exit $status
