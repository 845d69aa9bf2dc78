#pragma once
// The address texts of FTP data connections: the argument of PORT, and the port of a
// passive-mode reply.

#include <string>
#include <string_view>

namespace vireo {

// "h1,h2,h3,h4,p1,p2" for a dotted IPv4 address and a port.
std::string PortArgument(std::string_view dottedAddress, int port);
// "|2|address|port|" for an IPv6 address ("|1|...|" for a dotted IPv4 one): the argument
// of EPRT.
std::string EprtArgument(std::string_view address, int port);
// The port of an extended passive reply ("229 Entering Extended Passive Mode (|||6446|)"),
// or -1.
int EpsvPort(std::string_view reply);
// The port of a passive reply ("227 Entering Passive Mode (127,0,0,1,25,46)"), or -1. The
// address it names is not returned: data connections go to the server already connected.
int PasvPort(std::string_view reply);

} // namespace vireo
