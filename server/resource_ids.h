/* Resource names shared by Lumarin.rc and the C++ code that reads them. */
#pragma once

#define LUMARIN_RES_TYPELIB 1
#define LUMARIN_RES_IID_SYNAPSE 1
#define LUMARIN_RES_IID_SYNAPSE_TYPE "_IID_SYNAPSE"
#define LUMARIN_RES_IID_SYNAPSE_TYPE_W L"_IID_SYNAPSE"
