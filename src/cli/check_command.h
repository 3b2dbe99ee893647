#pragma once

// fabricor-cli check PROJECT: both documents through the editors' confirm checks, every problem
// listed; exit 1 when there is any. Declared with the other commands.
#include "cli/cli.h"
