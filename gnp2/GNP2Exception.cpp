#include "gnp2/GNP2Exception.h"

#include <cstdio>

namespace GNP2 {

GNP2Exception::GNP2Exception(std::string message, int errorNumber)
    : _message(std::move(message)), _errorNumber(errorNumber)
{
    std::printf("%s\nErrorNr: %d\n", _message.c_str(), _errorNumber);
    std::fflush(stdout);
}

GNP2Exception::~GNP2Exception() = default;

const char* GNP2Exception::what() const noexcept
{
    return _message.c_str();
}

} // namespace GNP2
