#pragma once
// Bookkeeping of the library as an in-process server: live objects and server locks decide
// DllCanUnloadNow.
namespace ortaline::module {

void ObjectCreated();
void ObjectDestroyed();
void Lock();
void Unlock();
bool CanUnload();

}  // namespace ortaline::module
