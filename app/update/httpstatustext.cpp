#include "app/update/httpstatustext.h"

#include <QCoreApplication>

namespace vortan {

QString httpStatusText(int status)
{
    auto tr = [](const char* text) { return QCoreApplication::translate("vortan::UpdaterController", text); };
    switch (status) {
    case 200: return tr("no error");
    case 204: return tr("no content");
    case 301: return tr("moved permanently");
    case 302: return tr("found");
    case 304: return tr("not modified");
    case 307: return tr("temporarily redirected");
    case 308: return tr("permanent redirect");
    case 400: return tr("bad request");
    case 401: return tr("unauthorized");
    case 403: return tr("forbidden");
    case 404: return tr("not found");
    case 405: return tr("method not allowed");
    case 406: return tr("unacceptable");
    case 408: return tr("request timed out");
    case 410: return tr("no longer exists");
    case 429: return tr("too many requests");
    case 500: return tr("internal server error");
    case 501: return tr("unimplemented");
    case 502: return tr("bad gateway");
    case 503: return tr("service unavailable");
    case 504: return tr("gateway timed out");
    default: break;
    }
    if (status >= 100 && status < 200)
        return tr("informational");
    if (status >= 200 && status < 300)
        return tr("success");
    if (status >= 300 && status < 400)
        return tr("redirected");
    if (status >= 400 && status < 500)
        return tr("client error");
    if (status >= 500 && status < 600)
        return tr("server error");
    return tr("server error");
}

}  // namespace vortan
