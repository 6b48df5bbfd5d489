// Request addresses of the two movie services: the signed AlloCine REST
// address and the TMDb movie search. They only build text and send nothing.
#pragma once

#include "DDKConversion.h"

#include <string>

class TMovieInfo;

// "http://<AlloCine host>/rest/v3/<Method>?<Query>&partner=..&sed=..&sig=..".
// Query is taken as it stands (nothing is encoded); sed is today's local date
// "yyyymmdd" and sig the Base64 SHA-1 of the secret key followed by the
// query, with '+' sent as "%2B".
std::string GetAllocineUrl(const std::string& Method, const std::string& Query);
// The same, signed for the day of Today, so that a fixed date gives a fixed
// address.
std::string GetAllocineUrl(const std::string& Method, const std::string& Query, TDateTime Today);

// The TMDb movie search in French for Query (words already joined by '+'),
// narrowed to Year ("1999") unless it is empty.
std::string GetTmdbSearchUrl(const std::string& Query, const std::string& Year);

// The TMDb search words of a record: its cleaned original title with '+'
// between the words ("L'Âge de glace" gives "l'age+de+glace").
std::string GetTmdbQuery(const TMovieInfo& Movie);
