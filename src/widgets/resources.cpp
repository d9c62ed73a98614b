#include "widgets/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerBundledPictures() { Q_INIT_RESOURCE(ferrymark); }

namespace widgets {

void initResources()
{
    static const bool registered = (registerBundledPictures(), true);
    (void)registered;
}

} // namespace widgets
