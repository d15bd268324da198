#include "net/messages.h"

#include "platform/text_codec.h"

namespace net {

std::u16string QueryInfo::hostNameText() const { return platform::ansiToUtf16(hostName); }

void QueryInfo::setHostNameText(std::u16string_view name) {
    hostName = platform::utf16ToAnsi(name);
}

}  // namespace net
