#include "MexIO/Completion.h"

#include <string>

#include "MexIO/Transport.h"
#include "MexIO/WaveformEncoding.h"
#include "platform/Text.h"

namespace onex {

using platform::printable;

Status awaitCompletion(const std::function<Status(std::string_view query)>& query) {
    Status opc = query("*OPC?");
    if (opc.status != 0) return opc;
    if (opc.response != "1" && opc.response != "+1")
        return {mexio::kIoFailure,
                "unexpected reply '" + platform::shownReply(opc.response) + "' to *OPC?"};
    std::string errors;
    for (int i = 0;; ++i) {
        if (i == kMaxErrorReads) {
            errors += "; (more errors)";
            break;
        }
        Status reply = query(":SYSTem:ERRor?");
        if (reply.status != 0) return reply;
        auto e = mexio::parseErrorReply(reply.response);
        if (!e)
            return {mexio::kIoFailure, "unexpected reply '" + platform::shownReply(reply.response) +
                                           "' to :SYSTem:ERRor?"};
        if (e->code == 0) break;
        // The entry as the instrument wrote it ("+10,..." stays "+10,...").
        errors +=
            (errors.empty() ? "" : "; ") + printable(platform::trimBlanks(reply.response), 200);
    }
    if (!errors.empty()) return {mexio::kInstrumentError, errors};
    return {0, ""};
}

}  // namespace onex
