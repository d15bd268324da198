#include "app/resident_program.h"
