// The stream collection: the protocols every program gets, registered in a fixed order.
#pragma once

namespace corvex {

// Registers the RAM ("incbin"), byte-order and text stream factories, in this order, and
// creates the standard-I/O text stream. The network factories ("tcp", "http") belong between
// byte-order and text; a program that wants them initialises them first, as the framework order
// does.
void InitStreamCollectionModule();

}  // namespace corvex
