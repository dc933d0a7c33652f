#include "desktop/mpris_root_adaptor.h"

#include "desktop/mpris_service.h"

namespace kinolark::desktop {

MprisRootAdaptor::MprisRootAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , m_service(service)
{
}

QString MprisRootAdaptor::identity() const
{
    return QStringLiteral("kinolark 电影");
}

QString MprisRootAdaptor::desktopEntry() const
{
    return QStringLiteral("com.lumovane.kinolark");
}

void MprisRootAdaptor::Raise()
{
    emit m_service->raiseRequested();
}

void MprisRootAdaptor::Quit()
{
    emit m_service->quitRequested();
}

} // namespace kinolark::desktop
