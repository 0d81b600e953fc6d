#pragma once

#include <string>

namespace wnd {

// "10054 Connection reset by peer"; "<code> Unknown errror code" for codes not in the table.
std::string gf_wsaErrorText(int code);

}  // namespace wnd
