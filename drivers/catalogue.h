// The constant catalogue of drivers, their open parameter and the address
// texts on offer.  Texts go straight into host buffers (8-bit).
#pragma once

#include <cstdint>
#include <string>

namespace xvr {

int32_t CatalogueDriverCount(uint32_t moduleHandle, uint32_t *count, std::u16string *error);
int32_t CatalogueDriverName(uint32_t moduleHandle, uint32_t index, char *buffer, uint32_t size,
                            std::u16string *error);
int32_t CatalogueDriverParam(uint32_t moduleHandle, const char *driverName, char *buffer,
                             uint32_t size, uint32_t *paramType, uint32_t *param1, uint32_t *param2,
                             std::u16string *error);
int32_t CatalogueEnum(uint32_t moduleHandle, const char *driverName, int32_t index, char *buffer,
                      uint32_t size, std::u16string *error);

}  // namespace xvr
