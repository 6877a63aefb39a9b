#include "app/update/httpstatustext.h"

#include <QCoreApplication>

namespace brenvo {

QString httpStatusText(int status)
{
    switch (status) {
    case 200: return QCoreApplication::translate("HttpStatus", "no error");
    case 204: return QCoreApplication::translate("HttpStatus", "no content");
    case 301: return QCoreApplication::translate("HttpStatus", "moved permanently");
    case 302: return QCoreApplication::translate("HttpStatus", "found");
    case 304: return QCoreApplication::translate("HttpStatus", "not modified");
    case 307: return QCoreApplication::translate("HttpStatus", "temporarily redirected");
    case 308: return QCoreApplication::translate("HttpStatus", "permanent redirect");
    case 400: return QCoreApplication::translate("HttpStatus", "bad request");
    case 401: return QCoreApplication::translate("HttpStatus", "unauthorized");
    case 403: return QCoreApplication::translate("HttpStatus", "forbidden");
    case 404: return QCoreApplication::translate("HttpStatus", "not found");
    case 405: return QCoreApplication::translate("HttpStatus", "method not allowed");
    case 406: return QCoreApplication::translate("HttpStatus", "unacceptable");
    case 408: return QCoreApplication::translate("HttpStatus", "request timed out");
    case 410: return QCoreApplication::translate("HttpStatus", "no longer exists");
    case 429: return QCoreApplication::translate("HttpStatus", "too many requests");
    case 500: return QCoreApplication::translate("HttpStatus", "internal server error");
    case 501: return QCoreApplication::translate("HttpStatus", "unimplemented");
    case 502: return QCoreApplication::translate("HttpStatus", "bad gateway");
    case 503: return QCoreApplication::translate("HttpStatus", "service unavailable");
    case 504: return QCoreApplication::translate("HttpStatus", "gateway timed out");
    default: break;
    }
    if (status >= 100 && status < 200)
        return QCoreApplication::translate("HttpStatus", "informational");
    if (status >= 200 && status < 300)
        return QCoreApplication::translate("HttpStatus", "success");
    if (status >= 300 && status < 400)
        return QCoreApplication::translate("HttpStatus", "redirected");
    if (status >= 400 && status < 500)
        return QCoreApplication::translate("HttpStatus", "client error");
    if (status >= 500 && status < 600)
        return QCoreApplication::translate("HttpStatus", "server error");
    return QCoreApplication::translate("HttpStatus", "server error");
}

}  // namespace brenvo
