// The text of the local indicator store, written straight from records: the
// bytes the JSON library's default stream writer gives for the array of their
// JSON objects, without building that document.
#ifndef THREATS_STORETEXT_H_
#define THREATS_STORETEXT_H_

#include <string>
#include <vector>

#include "threats/ThreatItem.h"

namespace threats {

// The array of `records` with tab indentation and keys in byte order; "null"
// when there is none (the store's form of no records). Never fails.
std::string storeText(const std::vector<ThreatItem>& records);

}  // namespace threats

#endif  // THREATS_STORETEXT_H_
