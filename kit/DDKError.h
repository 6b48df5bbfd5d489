// Errors travel as exceptions whose text reads as the chain of routines they
// crossed: each routine that passes one on puts its own bracketed tag in front,
// e.g. "[TSynchThread.SaveMovieInfo] [TMetadata.ReadFicheAc] bad JSON".
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

class EDDKError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text of the exception currently being handled (call inside a catch).
std::string DDKCurrentErrorMessage();

// Runs Body; an exception leaving it is raised again as a plain EDDKError
// whose message is Tag followed by the caught message.
template <class Body>
decltype(auto) DDKTagged(std::string_view Tag, Body&& body)
{
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        throw EDDKError(std::string(Tag) + DDKCurrentErrorMessage());
    }
}

// The same, for a tag that costs something to make: MakeTag() is called only
// when an exception leaves Body.
template <class TagMaker, class Body>
decltype(auto) DDKTaggedBy(TagMaker&& MakeTag, Body&& body)
{
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        throw EDDKError(std::string(std::forward<TagMaker>(MakeTag)()) + DDKCurrentErrorMessage());
    }
}
