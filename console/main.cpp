// The host console: for now it says what is coming. The view tree, the grid,
// context menus and commands arrive with the console itself.
#include <cstdio>

int main() {
  std::puts("labdocs host console: the runtime and the record form core are built.");
  std::puts("The view tree, document lists, context menus and commands come next.");
  return 0;
}
