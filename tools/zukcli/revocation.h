// `revoke IDM`, `unrevoke IDM` and `revoked`: the machine's list of revoked cards for machines
// without Group Policy, and both lists as the library reads them.
#ifndef ZUKCLI_REVOCATION_H
#define ZUKCLI_REVOCATION_H

#include <string>

#include "tools/zukcli/report.h"

bool RunRevoke(const std::string &idm, bool revoke, Report *report);
bool RunRevoked(Report *report);
// Whether text is an IDm the lists take (16 hexadecimal digits).
bool IsRevocableIdm(const std::string &text);

#endif
