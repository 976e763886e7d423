#pragma once
#include <exception>
#include <string>

namespace GNP2 {

// Thrown by the typed item accessors for a missing item or a wrong element
// type. Constructing one prints the message and "ErrorNr: <n>" to standard
// output, so a failure inside a scene object leaves a trace on the terminal.
class GNP2Exception : public std::exception
{
public:
    GNP2Exception(std::string message, int errorNumber);
    ~GNP2Exception() override;
    const char* what() const noexcept override;
    int getErrorNumber() const noexcept { return _errorNumber; }

private:
    std::string _message;
    int _errorNumber;
};

inline constexpr const char* ACCESSOR_ERROR = "Requested data not in packet or data size mismatch!";

} // namespace GNP2
