// `revoke IDM`, `unrevoke IDM` and `revoked`: the machine's list of revoked cards for machines
// without Group Policy, and both lists as the library reads them.
#ifndef ZUKCLI_REVOCATION_H
#define ZUKCLI_REVOCATION_H

#include <string>
#include <vector>

#include "tools/zukcli/report.h"

bool RunRevoke(const std::string &idm, bool revoke, Report *report);
bool RunRevoked(Report *report);
// Empty when text is an IDm the lists take (16 hexadecimal digits, or 8 pairs with spaces, colons
// or hyphens between them); otherwise what is wrong with it, in a few words.
std::string IdmRefusal(const std::string &text);
// The values of either list the library counts as malformed, each named with its list and type.
std::vector<std::string> RevocationValueFaults();

#endif
