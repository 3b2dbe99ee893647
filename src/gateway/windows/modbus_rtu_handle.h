#pragma once

#include <modbus/modbus.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The port's HANDLE of a connected RTU context; INVALID_HANDLE_VALUE while it is closed. */
void* fabricor_modbus_rtu_handle(modbus_t* context);

#ifdef __cplusplus
}
#endif
