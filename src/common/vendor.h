// The product's names and the vendor's addresses shown in the windows.
#pragma once

#include <QString>

namespace common {

inline const QString MainWindowCaption = QStringLiteral("Quarrow Ferrymark v7.6 Build 1218");
inline const QString VendorName = QStringLiteral("Quarrow Software");
inline const QString SupportEmail = QStringLiteral("support@quarrow.com");
inline const QString WebAddress = QStringLiteral("www.quarrow.com");

} // namespace common
