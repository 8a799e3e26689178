#include "dragdrop/DropFormats.h"

std::string RegisteredFormat(std::string_view name)
{
    return "application/x-qt-windows-mime;value=\"" + std::string(name) + "\"";
}

bool RequestMatches(const TFormatEtc& request, std::string_view format)
{
    return request.cfFormat == format && request.dwAspect == DVASPECT_CONTENT && (request.tymed & TYMED_HGLOBAL);
}

bool OfferServes(const TFormatEtc& offered, const TFormatEtc& request)
{
    return offered.cfFormat == request.cfFormat && offered.dwAspect == request.dwAspect &&
           (offered.tymed & request.tymed) != 0;
}
