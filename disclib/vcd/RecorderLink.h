// What the Video CD library uses of the recorder layer: the command log and
// the getters of the "CDR4COMS" and "CDR4BASE" library objects.
#pragma once

extern "C" {
void* CDR4COMS_Get();
void CDR4COMS_Release(void* table);
void* CDR4BASE_Get();
void CDR4BASE_Release(void* table);
void COMS_Log(const char* text);
}
