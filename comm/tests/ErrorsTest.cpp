#include <gtest/gtest.h>

#include "comm/ErrorCodes.h"
#include "comm/VskException.h"

namespace zop {
namespace {

// Runs CheckException outside the loading state and returns what it raised.
template <typename E> E Raised(std::int32_t code)
{
    try {
        CheckException(false, code);
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "code " << code << " did not raise the expected class";
    throw std::logic_error("not raised");
}

TEST(CheckException, SuccessCodesComeBackUnchanged)
{
    EXPECT_EQ(CheckException(false, 0), 0);
    EXPECT_EQ(CheckException(false, 2), 2);
    EXPECT_EQ(CheckException(false, 41), 41);
}

TEST(CheckException, LoadingComponentGetsTheCodeBack)
{
    EXPECT_EQ(CheckException(true, ErrBadHandle), ErrBadHandle);
    EXPECT_EQ(CheckException(true, -2), -2);
    EXPECT_THROW(CheckException(false, ErrBadHandle), EBadHandle);
    TComponent component;
    component.BeginLoading();
    EXPECT_EQ(CheckException(component, ErrBadHandle), ErrBadHandle);
    component.Loaded();
    EXPECT_THROW(CheckException(component, ErrBadHandle), EBadHandle);
    EXPECT_EQ(CheckException(component, 7), 7);
}

TEST(CheckException, ListedCodesRaiseTheirClassWithTextAndCode)
{
    const EBadHandle badHandle = Raised<EBadHandle>(-1001);
    EXPECT_STREQ(badHandle.what(), "Bad handle passed to com function");
    EXPECT_EQ(badHandle.ErrorCode, -1001);

    EXPECT_STREQ(Raised<ENoHandles>(-2009).what(), "No more handles, can't open port");
    EXPECT_STREQ(Raised<EBufferIsEmpty>(-3007).what(), "Buffer is empty");
    EXPECT_STREQ(Raised<ENotSupported>(-3002).what(), "Function not supported by driver");
    EXPECT_STREQ(Raised<ETriggerTooLong>(-5002).what(), "Data trigger too long");
    EXPECT_STREQ(Raised<ENoPortSelected>(-2011).what(), "The ComNumber property of the TVskComPort has not been set");
    EXPECT_STREQ(Raised<EDatabaseFull>(-7010).what(), "Maximum database records (999) reached");
    EXPECT_STREQ(Raised<EFaxBadFormat>(-8001).what(), "File is not an OQX file");
    EXPECT_STREQ(Raised<EAlreadyDialing>(-4005).what(), "Dialer is already dialing");
    EXPECT_STREQ(Raised<ETapiAllocated>(-13801).what(), "already allocated");
    EXPECT_STREQ(Raised<ETapiNoMultipleInstance>(-13886).what(), "no multiple instance");
    EXPECT_EQ(Raised<ETapiInvalParam>(-13850).ErrorCode, -13850);
    EXPECT_EQ(Raised<ETapiInvalMessageID>(-13848).ErrorCode, -13848);
    EXPECT_STREQ(Raised<ETapiBusy>(-13928).what(), "TAPI already open, dialing or answering");
    EXPECT_STREQ(Raised<ETapi16Disabled>(-13933).what(), "TAPI disabled for 16-bit environments");
}

TEST(CheckException, SharedClassesKeepTheirCodesApart)
{
    EXPECT_EQ(Raised<EInternal>(-1006).ErrorCode, -1006);
    EXPECT_EQ(Raised<EInternal>(-7012).ErrorCode, -7012);
    const EProtocol timeout = Raised<EProtocol>(-6006);
    EXPECT_STREQ(timeout.what(), "Fatal time out");
    EXPECT_EQ(Raised<EProtocol>(-6009).ErrorCode, -6009);
}

TEST(CheckException, HandlersCatchWholeGroups)
{
    EXPECT_THROW(CheckException(false, -5001), ETrigger);
    EXPECT_THROW(CheckException(false, -5003), ETrigger);
    EXPECT_THROW(CheckException(false, -2001), EOpenComm);
    EXPECT_THROW(CheckException(false, -2009), EOpenComm);
    EXPECT_THROW(CheckException(false, -3001), ESerialIO);
    EXPECT_THROW(CheckException(false, -1002), EGeneral);
    EXPECT_THROW(CheckException(false, -4002), EModem);
    EXPECT_THROW(CheckException(false, -7001), EINI);
    EXPECT_THROW(CheckException(false, -8080), EFax);
    EXPECT_THROW(CheckException(false, -13805), ETapi);
    EXPECT_THROW(CheckException(false, -5001), EVSKException);
    // A trigger failure is not an open failure.
    try {
        CheckException(false, -5002);
    } catch (const EOpenComm&) {
        ADD_FAILURE() << "a trigger code was caught as an open failure";
    } catch (const ETrigger&) {
    }
}

TEST(CheckException, OperatingSystemCodesRaiseRuntimeErrors)
{
    const EInOutError notFound = Raised<EInOutError>(-2);
    EXPECT_STREQ(notFound.what(), "File not found");
    EXPECT_EQ(notFound.ErrorCode, 2);
    EXPECT_STREQ(Raised<EOutOfMemory>(-8).what(), "Insufficient memory");
    const EInOutError unnamed = Raised<EInOutError>(-7);
    EXPECT_STREQ(unnamed.what(), "");
    EXPECT_EQ(unnamed.ErrorCode, 7);
    EXPECT_STREQ(Raised<EInOutError>(-103).what(), "File/device not open");
    EXPECT_STREQ(Raised<EInOutError>(-150).what(), "Disk is write-protected");
    const EInOutError last = Raised<EInOutError>(-162);
    EXPECT_STREQ(last.what(), "General failure");
    EXPECT_EQ(last.ErrorCode, 162);
    // Memory exhaustion is not a file error.
    try {
        CheckException(false, -8);
    } catch (const EInOutError&) {
        ADD_FAILURE() << "-8 raised as a file error";
    } catch (const EOutOfMemory&) {
    }
}

TEST(CheckException, UnlistedCodesRaiseTheFamilyRoot)
{
    for (std::int32_t code : { -1, -13849, -13804, -163, -1009, -6001, -7009, -13934, -99999 }) {
        try {
            CheckException(false, code);
            ADD_FAILURE() << code << " did not raise";
        } catch (const EGeneral&) {
            ADD_FAILURE() << code << " raised a subclass";
        } catch (const EVSKException& e) {
            EXPECT_STREQ(e.what(), "VSK exception") << code;
            EXPECT_EQ(e.ErrorCode, 0) << code;
        }
    }
}

TEST(ErrorMessageId, FollowsTheNumberingRule)
{
    EXPECT_EQ(ErrorMessageId(-150), 11950);
    EXPECT_EQ(ErrorMessageId(-5001), 11501);
    EXPECT_EQ(ErrorMessageId(-13886), 13886);
    EXPECT_EQ(ErrorMessageId(-1001), 11101);
    EXPECT_EQ(ErrorMessageId(-5002), 11502);
    EXPECT_EQ(ErrorMessageId(-2), 11002);
    EXPECT_EQ(ErrorMessageId(-103), 11903);
    EXPECT_EQ(ErrorMessageId(-13824), 13824);
    EXPECT_EQ(ErrorMessageId(-13800), 13800);
    EXPECT_EQ(ErrorMessageId(-13900), 13900);
    EXPECT_EQ(ErrorMessageId(-99), 11099);
    EXPECT_EQ(ErrorMessageId(-200), 11200);
    // The telephony component's codes find the texts stored under their own number.
    EXPECT_EQ(ErrorMessageId(-13931), 13931);
    EXPECT_EQ(LoadMessageText(ErrorMessageId(-13931)), "Failed to find/load TAPI.DLL");
    // Only the low 16 bits of the magnitude count.
    EXPECT_EQ(ErrorMessageId(-(65536 + 1001)), 11101);
}

TEST(ErrorMessageId, NumbersWithoutTextGiveEmptyMessages)
{
    EXPECT_EQ(LoadMessageText(11007), "");
    EXPECT_EQ(LoadMessageText(0), "");
    EXPECT_EQ(LoadMessageText(13804), "");
    EXPECT_EQ(LoadMessageText(13934), "Unexpected TAPI error");
}

TEST(EVSKException, PlainMessageCarriesCodeZero)
{
    const EVSKException e("custom text");
    EXPECT_STREQ(e.what(), "custom text");
    EXPECT_EQ(e.ErrorCode, 0);
    const ENullApi raisedDirectly(-3001);
    EXPECT_STREQ(raisedDirectly.what(), "No device layer specified");
    EXPECT_EQ(raisedDirectly.HelpContext(), 0);
}

} // namespace
} // namespace zop
