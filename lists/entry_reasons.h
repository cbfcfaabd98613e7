// Why an address attempt is not an address, for the shapes operators
// write that are none of the accepted ones: a port, IPv6, a comma, a sign,
// full-width digits, invisible characters, a host name with a block length,
// a range of blocks and a netmask.
#pragma once

#include <string>

// For an entry that holds letters: how a nickname like it is written.
std::string NicknameHint(const std::string& text);

// True, with the reason, when the trimmed entry `text` has one of these
// shapes; false leaves it to the reading of the accepted shapes.
bool MisshapenAddress(const std::string& text, std::string* reason);
