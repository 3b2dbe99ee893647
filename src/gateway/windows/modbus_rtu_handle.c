/* The handle of the serial port that libmodbus opened for an RTU context, on Windows. The
   library keeps it to itself, so the gateway, which reads the line on its own, asks here;
   compiled with the library's own headers (cmake/ThirdPartyFromSource.cmake). */
#include "modbus-private.h"
#include "modbus-rtu-private.h"

#include "modbus_rtu_handle.h"

void* fabricor_modbus_rtu_handle(modbus_t* context) {
    const modbus_rtu_t* rtu = (const modbus_rtu_t*)context->backend_data;
    return rtu->w_ser.fd;
}
