// Device schemes that tests reach through CreateFileA: "vtape:PATH?OPTIONS".
#pragma once

// Registers every scheme once; later calls do nothing.
void register_test_device_schemes();
