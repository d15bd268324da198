#include "ui/icons/icons.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function in the global namespace; it cannot be called from a namespace.
static void registerIconResources() { Q_INIT_RESOURCE(icons); }

void registerProgramIcons() {
    static const bool registered = (registerIconResources(), true);
    (void)registered;
}
