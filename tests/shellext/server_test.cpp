// The module as a COM server: its factory, the identity and the shared
// reference count of CShellExt, and when the module may be unloaded.
#include <gtest/gtest.h>

#include "shellext_test_support.h"

namespace {

ShellExtModule& Module() {
    ShellExtModule& module = TheModule();
    EXPECT_TRUE(module.Loaded()) << "cannot load " << TDZ_SHELLEXT64_DLL;
    return module;
}

TEST(ShellExtServer, RefusesOtherClassesWithANullResult) {
    ShellExtModule& module = Module();
    ASSERT_TRUE(module.Loaded());
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, module.GetClassObject(IID_IClassFactory, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST(ShellExtServer, FactoryHoldsOneReferenceAndKeepsTheModuleLoaded) {
    ShellExtModule& module = Module();
    ASSERT_TRUE(module.Loaded());
    ASSERT_EQ(S_OK, module.CanUnloadNow());

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, module.GetClassObject(kShellExtClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(2u, factory->AddRef());
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(S_FALSE, module.CanUnloadNow());

    IUnknown* unknown = nullptr;
    EXPECT_EQ(S_OK, factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(factory), unknown);
    EXPECT_EQ(1u, unknown->Release());

    void* other = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IClassFactory2, &other));
    EXPECT_EQ(nullptr, other);

    // Server locks are not counted.
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST(ShellExtServer, RefusedQueriesLeaveNoObjectBehind) {
    ShellExtModule& module = Module();
    ASSERT_TRUE(module.Loaded());
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, module.GetClassObject(kShellExtClassId, IID_IContextMenu, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(S_OK, module.CanUnloadNow()) << "the factory of a refused query stayed alive";

    ComRef<IClassFactory> factory;
    ASSERT_EQ(S_OK, module.GetClassObject(kShellExtClassId, IID_IClassFactory, factory.Out()));
    object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IPersist, &object));
    EXPECT_EQ(nullptr, object);
    factory.Reset();
    EXPECT_EQ(S_OK, module.CanUnloadNow()) << "the object of a refused query stayed alive";
}

TEST(ShellExtServer, RefusesAggregation) {
    ShellExtModule& module = Module();
    ASSERT_TRUE(module.Loaded());
    ComRef<IClassFactory> factory;
    ASSERT_EQ(S_OK, module.GetClassObject(kShellExtClassId, IID_IClassFactory, factory.Out()));
    ComRef<IUnknown> outer(static_cast<IUnknown*>(factory.Get()));
    outer->AddRef();
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.Get(), IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
}

TEST(ShellExtServer, ObjectHasOneIdentityAndOneCountAcrossItsInterfaces) {
    ShellExtModule& module = Module();
    ASSERT_TRUE(module.Loaded());
    ComRef<IContextMenu> menu(CreateShellExt<IContextMenu>(IID_IContextMenu));
    ASSERT_NE(nullptr, menu.Get());
    EXPECT_EQ(S_FALSE, module.CanUnloadNow());

    IUnknown* identity = nullptr;
    IPersistFile* persist = nullptr;
    IExtractIconW* extract = nullptr;
    IShellIconOverlayIdentifier* overlay = nullptr;
    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)));
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IExtractIconW, reinterpret_cast<void**>(&extract)));
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellIconOverlayIdentifier, reinterpret_cast<void**>(&overlay)));
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));

    // IUnknown and IPersistFile are the same pointer; the others point into
    // the same object elsewhere.
    EXPECT_EQ(static_cast<void*>(identity), static_cast<void*>(persist));
    EXPECT_NE(static_cast<void*>(identity), static_cast<void*>(menu.Get()));
    for (IUnknown* through : {static_cast<IUnknown*>(extract), static_cast<IUnknown*>(overlay),
                              static_cast<IUnknown*>(init), static_cast<IUnknown*>(menu.Get())}) {
        IUnknown* again = nullptr;
        ASSERT_EQ(S_OK, through->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)));
        EXPECT_EQ(identity, again);
        again->Release();
    }

    // One count: menu 1 + five queries = 6, whichever table is used.
    EXPECT_EQ(7u, extract->AddRef());
    EXPECT_EQ(8u, init->AddRef());
    EXPECT_EQ(7u, persist->Release());
    EXPECT_EQ(6u, overlay->Release());

    void* nothing = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, identity->QueryInterface(IID_IPersist, &nothing));
    EXPECT_EQ(nullptr, nothing);
    EXPECT_EQ(E_NOINTERFACE, identity->QueryInterface(IID_IDataObject, &nothing));
    EXPECT_EQ(E_POINTER, identity->QueryInterface(IID_IUnknown, nullptr));

    EXPECT_EQ(5u, identity->Release());
    EXPECT_EQ(4u, extract->Release());
    EXPECT_EQ(3u, init->Release());
    EXPECT_EQ(2u, init->Release());
    EXPECT_EQ(S_FALSE, module.CanUnloadNow());
    EXPECT_EQ(1u, extract->Release());
    EXPECT_EQ(0u, menu.Detach()->Release());
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST(ShellExtServer, ReleasingTheObjectReleasesItsSelection) {
    auto* data = new DropDataObject({L"C:\\data\\report.doc.tdz"});
    {
        ComRef<IShellExtInit> init(CreateShellExt<IShellExtInit>(IID_IShellExtInit));
        ASSERT_NE(nullptr, init.Get());
        ASSERT_EQ(S_OK, init->Initialize(nullptr, data, nullptr));
        EXPECT_EQ(2, data->References());
        // A second Initialize lets go of the first selection.
        auto* second = new DropDataObject({L"C:\\data\\other.tdz"});
        ASSERT_EQ(S_OK, init->Initialize(nullptr, second, nullptr));
        EXPECT_EQ(1, data->References());
        EXPECT_EQ(2, second->References());
        ASSERT_EQ(S_OK, init->Initialize(nullptr, data, nullptr));
        EXPECT_EQ(1, second->References());
        second->Release();
        EXPECT_EQ(2, data->References());
    }
    EXPECT_EQ(1, data->References());
    EXPECT_EQ(data->MediaGiven(), data->MediaReleased());
    data->Release();
    EXPECT_EQ(S_OK, TheModule().CanUnloadNow());
}

}  // namespace
