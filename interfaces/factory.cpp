#include "interfaces/ft_interface.h"
#include "interfaces/interface.h"
#include "interfaces/ot_interface.h"
#include "interfaces/rw_interface.h"
#include "interfaces/vt_interface.h"

std::unique_ptr<TInterface> CreateInterface(int interfaceType)
{
    switch (interfaceType) {
    case 0: return std::make_unique<T__Interface>();
    case 1: return std::make_unique<TVTInterface>();
    case 2: return std::make_unique<TVXInterface>();
    case 3: return std::make_unique<TOTInterface>();
    case 4: return std::make_unique<TBXInterface>();
    case 5: return std::make_unique<TODInterface>();
    case 6: return std::make_unique<TRWInterface>();
    case kFtmsInterfaceType: return std::make_unique<TFTInterface>();
    default: return nullptr;
    }
}
