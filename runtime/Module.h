// The one-time module initialiser pattern, and the runtime core's own initialiser.
//
// Every module has one parameterless initialiser:
//
//   void InitBankDataTypeModule() {
//     static constinit int initialised = 0;
//     if (!EnterModuleOnce(initialised)) return;
//     InitRuntimeModule();
//     InitDataStreamModule();   // the modules it imports, in import order
//     ...                       // then its own globals and registrations
//   }
//
// The flag is constant-initialised and set on entry, so import cycles end and nothing depends
// on the order in which C++ runs static initialisers.
#pragma once

namespace corvex {

// Sets the module's once-flag; answers false when the initialiser has already been entered.
inline bool EnterModuleOnce(int& flag) noexcept {
  if (flag != 0) return false;
  flag = 1;
  return true;
}

// The runtime core's initialiser; every module initialiser calls it first.
void InitRuntimeModule();

}  // namespace corvex
