#pragma once

// Makes the program's icons reachable under ":/icons/" (they live in a static library, whose
// resources are registered by hand). Safe to call more than once.
void registerProgramIcons();
