#pragma once

#include <string>
#include <string_view>

namespace ostrel::journal {

// The address of a server as messages show it: a password it holds (the user information of
// a URI, a "password" setting of a URI's query or of "keyword=value" settings, quoted or not)
// is replaced by "***"; the rest is left as written.
std::string MaskedAddress(std::string_view address);

} // namespace ostrel::journal
