#include "host/resources.h"

const char* ProgramString(int id) {
  switch (id) {
    case 102:
      return "Tarvex";
    case 103:
      return "1.2";
    case 104:
      return "2011-02-26";
    default:
      return nullptr;
  }
}
