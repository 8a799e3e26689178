#pragma once
// File masks: "*.lnk;*.url" parsed into a list of patterns and matched against
// names with "*" (any run) and "?" (one character).
#include <string>
#include <string_view>
#include <vector>

// The parsed mask: lower-case patterns, sorted once parsed.
struct TMaskList {
    std::vector<std::string> Patterns;
    bool Sorted = false;

    bool Empty() const { return Patterns.empty(); }
};

// Splits mask at ";" into lower-case patterns. An empty mask gives the one pattern
// "*". Patterns are not trimmed ("*.lnk; *.url" keeps the blank of " *.url"), an
// empty segment is an empty pattern, and the list ends up sorted.
void ParseMaskString(std::string_view mask, TMaskList& list);

// Whether the lower-cased name matches a pattern of the list (no list, or an empty
// one, matches everything). A name without any "." is matched with one appended, so
// "*.*" and "*." match it.
bool MatchesMaskList(std::string_view name, const TMaskList* list);

// One pattern against one name, both already in lower case. A "*" followed by a
// literal part takes the leftmost place where that part occurs and never tries a
// later one: "*b?txt" matches "/x/ab.txt", but "*ab?" does not match "abxaby"
// (the first "ab" is taken, and "?" then leaves "aby" unmatched). A literal part
// that ends the pattern after a "*" only has to end the name.
bool MatchesMask(std::string_view name, std::string_view pattern);
