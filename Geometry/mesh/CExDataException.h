#pragma once
// The one exception class of the kernel. Only the extended-data key registry
// raises it: for a null or empty key ("incorret key") and when a key map's
// storage cannot be obtained ("not enough memory"). The message is one of
// those literals, so the exception itself never allocates.

#include <exception>

class CExDataException : public std::exception {
public:
    explicit CExDataException(const char* message) noexcept : message(message) {}
    const char* what() const noexcept override { return message; }
    const char* GetMessage() const noexcept { return message; }

private:
    const char* message;
};
