#include "DDKError.h"

std::string DDKCurrentErrorMessage()
{
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown error";
    }
}
