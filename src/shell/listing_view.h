#pragma once

#include <string>
#include <vector>

#include "core/listing.h"

class QPlainTextEdit;

namespace plk {

// Writes a listing change into the text box: the whole text, or each edit on its own lines, so
// that the rest of a long listing, and where the user scrolled to, stays as it was.
void showListingChange(QPlainTextEdit& memo, const ListingChange& change,
                       const std::vector<std::string>& lines);

}  // namespace plk
