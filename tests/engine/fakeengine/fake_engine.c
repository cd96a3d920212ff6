/* Stand-ins for an engine library that must be refused by the loader. Built
 * three times: without CreateObject, reporting another interface layout, and
 * not reporting a layout at all. The loader must never call CreateObject of a
 * refused library: doing so ends the test process. */
#include <stdint.h>
#include <stdlib.h>

#define EXPORT __attribute__((visibility("default")))

typedef struct
{
    uint16_t vt;
    uint16_t reserved[3];
    union {
        uint32_t ulVal;
        uint64_t uhVal;
    } value;
} FakePropVariant;

#if FAKE_HAS_CREATE_OBJECT
EXPORT int32_t CreateObject(const void* classId, const void* interfaceId, void** outObject)
{
    (void)classId;
    (void)interfaceId;
    (void)outObject;
    abort();
}
#endif

EXPORT int32_t SetLargePageMode(void)
{
    abort();
}

#if FAKE_HAS_MODULE_PROP
EXPORT int32_t GetModuleProp(uint32_t id, FakePropVariant* value)
{
    if (id == 0) {
        value->vt = 19;
        value->value.ulVal = FAKE_INTERFACE_TYPE;
    }
    return 0;
}
#endif
