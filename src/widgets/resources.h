// The pictures bundled with the program (resources/ferrymark.qrc).
#pragma once

namespace widgets {

// Makes the bundled pictures available under ":/"; safe to call any number of times.
void initResources();

} // namespace widgets
