// The stream collection: the protocols every program gets, registered in a fixed order.
#pragma once

namespace corvex {

// Registers the RAM ("incbin"), byte-order, network and text stream factories, in this
// order, and creates the standard-I/O text stream.
void InitStreamCollectionModule();

}  // namespace corvex
