#pragma once

#include "cast/soap_call.h"

#include <QString>

namespace kinolark::cast {

// The Chinese texts the window shows for what went wrong, each naming the
// device ("「客厅电视」…").
class CastText
{
public:
    enum class Asked {
        Address, // SetAVTransportURI: the TV refused the address
        Command, // anything else
    };

    // A SOAP call that failed; `timeoutSeconds` is how long the answer was awaited.
    static QString callFailed(const QString &device, const SoapResult &result, Asked asked, int timeoutSeconds);
    static QString unreachable(const QString &device);
    static QString stoppedByItself(const QString &device);
    static QString playbackError(const QString &device);
    static QString neverPlayed(const QString &device);
    static QString notCastable();
    static QString noRenderer();
};

} // namespace kinolark::cast
