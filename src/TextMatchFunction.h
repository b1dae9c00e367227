#pragma once

struct sqlite3;

// Registers on a connection the SQL function corvanta_text_match(value, needle, whole):
// 1 when `value` holds `needle` (equals it, when `whole` is non-zero), ignoring the case of
// ASCII letters as LIKE does, else 0; NULL values never match. `needle` must already be in
// lower case. It takes no wildcards and no escapes, and finds a needle in a value at a
// fraction of the cost of LIKE '%...%', which is what a search through every element of a
// file spends its time on.
bool registerTextMatchFunction(sqlite3* db);
