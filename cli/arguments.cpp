#include "cli/arguments.h"
