// The server program.
#include "engine/Kelvaro/server_main.h"

int main(int argc, char** argv) { return kov::runServer(argc, argv); }
