#include "lib/LumLX/LumLXRegistry.h"

TLumRegistryLX::~TLumRegistryLX() = default;
