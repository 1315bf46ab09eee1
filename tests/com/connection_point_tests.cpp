#include <gtest/gtest.h>

#include "com/connection_point.h"
#include "counted_object.h"
#include "recording_sink.h"

namespace {

using testing_support::CountedObject;
using testing_support::RecordingSink;

constexpr IID kEvents = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};

VARIANT Text(const char* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = com::ToBstr(text);
    return v;
}

struct ConnectionPointTest : ::testing::Test {
    CountedObject owner;
    com::ConnectionPoint point{&owner, nullptr, kEvents};
};

TEST_F(ConnectionPointTest, CookiesFromOneAndUnknownCookiesRefused) {
    RecordingSink a(kEvents), b;  // b answers only IDispatch, which is enough
    DWORD ca = 0, cb = 0;
    ASSERT_EQ(point.Advise(&a, &ca), S_OK);
    ASSERT_EQ(point.Advise(&b, &cb), S_OK);
    EXPECT_EQ(ca, 1u);
    EXPECT_EQ(cb, 2u);
    EXPECT_EQ(a.refs, 1);
    EXPECT_EQ(point.Unadvise(ca), S_OK);
    EXPECT_EQ(a.refs, 0);
    EXPECT_EQ(point.Unadvise(ca), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point.Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point.Unadvise(77), CONNECT_E_NOCONNECTION);
    DWORD again = 0;
    ASSERT_EQ(point.Advise(&a, &again), S_OK);
    EXPECT_EQ(again, 3u);  // never reused

    CountedObject notASink;
    DWORD refused = 5;
    EXPECT_EQ(point.Advise(&notASink, &refused), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(refused, 0u);
    EXPECT_EQ(notASink.refs, 0);

    IID iid{};
    point.GetConnectionInterface(&iid);
    EXPECT_EQ(iid, kEvents);
    point.Unadvise(again);
    point.Unadvise(cb);
    EXPECT_EQ(b.refs, 0);
}

TEST_F(ConnectionPointTest, FiringReachesEverySinkWithArgumentsInOrder) {
    RecordingSink a, b;
    DWORD ca = 0, cb = 0;
    point.Advise(&a, &ca);
    point.Advise(&b, &cb);
    VARIANT args[2] = {Text("Opening serial port"), {}};
    VariantInit(&args[1]);
    args[1].vt = VT_I4;
    args[1].lVal = 3;
    EXPECT_EQ(point.Fire(1, args, 2), S_OK);
    VariantClear(&args[0]);
    ASSERT_EQ(a.calls.size(), 1u);
    EXPECT_EQ(a.calls[0], "1:Opening serial port,3");
    EXPECT_EQ(b.calls, a.calls);
    EXPECT_EQ(a.refs, 1);  // the snapshot's references are given back
    EXPECT_EQ(owner.refs, 0);
    point.Unadvise(ca);
    point.Unadvise(cb);
    EXPECT_EQ(point.Fire(1, nullptr, 0), S_OK);  // no sinks: nothing to do
}

TEST_F(ConnectionPointTest, SinksMayUnadviseWhileAnEventRuns) {
    RecordingSink first, second, third;
    DWORD c1 = 0, c2 = 0, c3 = 0;
    point.Advise(&first, &c1);
    point.Advise(&second, &c2);
    point.Advise(&third, &c3);
    // The first sink drops itself and the second one; the second is then skipped.
    first.onEvent = [&] {
        EXPECT_EQ(point.Unadvise(c1), S_OK);
        EXPECT_EQ(point.Unadvise(c2), S_OK);
    };
    point.Fire(4, nullptr, 0);
    EXPECT_EQ(first.calls.size(), 1u);
    EXPECT_TRUE(second.calls.empty());
    EXPECT_EQ(third.calls.size(), 1u);
    EXPECT_EQ(first.refs, 0);
    EXPECT_EQ(second.refs, 0);
    EXPECT_EQ(point.SinkCount(), 1u);
    point.Unadvise(c3);
}

TEST_F(ConnectionPointTest, EnumerationsHoldTheirOwnReferences) {
    RecordingSink a, b;
    DWORD ca = 0, cb = 0;
    point.Advise(&a, &ca);
    point.Advise(&b, &cb);
    IEnumConnections* connections = nullptr;
    ASSERT_EQ(point.EnumConnections(&connections), S_OK);
    point.Unadvise(ca);  // the enumeration is a snapshot
    EXPECT_EQ(a.refs, 1);
    CONNECTDATA items[3];
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(3, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(items[0].dwCookie, 1u);
    EXPECT_EQ(items[1].dwCookie, 2u);
    items[0].pUnk->Release();
    items[1].pUnk->Release();
    connections->Reset();
    IEnumConnections* clone = nullptr;
    ASSERT_EQ(connections->Clone(&clone), S_OK);
    connections->Release();
    EXPECT_EQ(clone->Skip(1), S_OK);
    EXPECT_EQ(clone->Next(1, items, nullptr), S_OK);
    EXPECT_EQ(items[0].dwCookie, 2u);
    items[0].pUnk->Release();
    clone->Release();
    EXPECT_EQ(a.refs, 0);
    EXPECT_EQ(b.refs, 1);
    point.Unadvise(cb);

    IConnectionPoint* points[] = {&point};
    IEnumConnectionPoints* pointsEnum = nullptr;
    ASSERT_EQ(com::CreateConnectionPointEnumerator(points, 1, &pointsEnum), S_OK);
    EXPECT_EQ(owner.refs, 1);  // a point's references are its owner's
    IConnectionPoint* got = nullptr;
    EXPECT_EQ(pointsEnum->Next(1, &got, nullptr), S_OK);
    EXPECT_EQ(got, &point);
    got->Release();
    pointsEnum->Release();
    EXPECT_EQ(owner.refs, 0);
}

}  // namespace
