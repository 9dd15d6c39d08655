// The failure raised by the server client and the configuration request. Most carry no text: the caller only
// needs to know that the conversation with the server did not produce an answer.
#pragma once

#include <stdexcept>
#include <string>

class WayfarerException : public std::runtime_error {
public:
    explicit WayfarerException(const std::string& message = std::string()) : std::runtime_error(message) {}
};
