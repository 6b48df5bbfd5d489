// What a movie file's name tells: the CD part and twin file of a two-file
// movie, the words to search for; and the values derived from a movie record
// (its library folder, its running time as text).
#pragma once

#include "UnitTypes.h"

#include <string>
#include <string_view>

// Sets Movie.CdNumber, OtherCdFile and SearchTitle from Movie.FileName.
// Raises "[GetCdNumber] ..." on failure.
void GetCdNumber(TMovieInfo& Movie);

// The lower-case, accent-free words of S ("a-z", "0-9" and "'") joined by
// single blanks. Raises "[CleanTitle] ..." on failure.
std::string CleanTitle(std::string_view S);

// Name without its leading dots and blanks: a name the program builds from a
// title such as ".45" must not make the user's file or folder a hidden one.
std::string VisibleName(std::string_view Name);

// Builds "Title (Year) #Code" without the characters a file name may not hold,
// stores BasePath + '/' + it in Movie.MovieDir and creates that folder with its
// parents. Raises the system's message when the folder cannot be created.
void MakeMovieDir(TMovieInfo& Movie, const std::string& BasePath);

// "1h35" for 95 minutes. Raises "[GetRuntime] ..." on failure.
std::string GetRuntime(int Minutes);

// True when a service answer is JSON (its first byte is '{') rather than XML.
bool IsJsonStream(std::string_view Stream);
