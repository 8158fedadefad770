#pragma once
// Who runs the program and where: the login name and the machine's name, as
// the service history records them.
#include <string>

std::string loginName();
std::string hostName();
