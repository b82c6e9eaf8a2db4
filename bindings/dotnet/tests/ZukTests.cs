// ZukTests.cs - the C# binding against the native shared build of the library and its simulated
// reader, run under Mono: the calls' results through the real marshalling, the exception families,
// the SafeHandle's release, waiting for a card, and cancelling through a CancellationToken.
// A small runner: each test is a method; the last line says how many passed and failed.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Runtime.CompilerServices;
using System.Threading;
using System.Threading.Tasks;

namespace Korva.Zuk.Tests
{
    static class Assert
    {
        public static void Equal<T>(T expected, T actual, string what = "")
        {
            if (!EqualityComparer<T>.Default.Equals(expected, actual))
                throw new Exception(string.Format("{0}: expected {1}, got {2}", what, expected, actual));
        }

        public static void True(bool condition, string what)
        {
            if (!condition) throw new Exception(what);
        }

        public static TException Throws<TException>(Action action, string what = "") where TException : Exception
        {
            try
            {
                action();
            }
            catch (TException e)
            {
                return e;
            }
            catch (AggregateException e) when (e.InnerException is TException)
            {
                return (TException)e.InnerException;
            }
            catch (Exception e)
            {
                throw new Exception(string.Format("{0}: expected {1}, got {2}: {3}", what, typeof(TException).Name,
                                                  e.GetType().Name, e.Message));
            }
            throw new Exception(string.Format("{0}: expected {1}, nothing thrown", what, typeof(TException).Name));
        }
    }

    static class ZukTests
    {
        static ZukReader OpenWithCard()
        {
            Scene.SetUp();
            Scene.LayCard();
            return ZukReader.Open();
        }

        static void VersionModeAndLengths()
        {
            Scene.SetUp();
            Assert.Equal(new Version(3, 1, 0), ZukLibrary.Version, "version");
            Assert.Equal(0x00030100, ZukLibrary.RawVersion, "raw version");
            Assert.Equal(LibraryMode.Card, ZukLibrary.Mode, "mode");
            Assert.Equal(128, ZukLibrary.MaxLengths.IdLength, "id length");
            Assert.Equal(256, ZukLibrary.MaxLengths.PasswordLength, "password length");
            Scene.SetUp(mode: 0);
            Assert.Equal(LibraryMode.Off, ZukLibrary.Mode, "mode off");
        }

        static void EachResultThrowsItsFamily()
        {
            var cases = new[]
            {
                Tuple.Create(-1, typeof(ZukCancelledException)),
                Tuple.Create(3, typeof(ZukPinException)),
                Tuple.Create(7, typeof(ZukPinException)),
                Tuple.Create(6, typeof(ZukPinException)),
                Tuple.Create(5, typeof(ZukCardException)),
                Tuple.Create(0x1000000, typeof(ZukCardException)),
                Tuple.Create(1280, typeof(ZukReaderException)),
                Tuple.Create(1792, typeof(ZukReaderException)),
                Tuple.Create(4, typeof(ZukConfigurationException)),
                Tuple.Create(0x10000, typeof(ZukUsageException)),
                Tuple.Create(12345, typeof(ZukConfigurationException)),
            };
            foreach (var c in cases)
            {
                Exception e = ZukException.FromCode("ZUKOpen", c.Item1);
                Assert.Equal(c.Item2, e.GetType(), "family of " + c.Item1);
                var zuk = e as ZukException;
                if (zuk != null) Assert.Equal(c.Item1, zuk.Code, "code");
                if (zuk != null) Assert.Equal((ZukResult)c.Item1, zuk.Result, "result");
            }
            Assert.True(ZukException.FromCode("ZUKOpen", 3).Message.Contains("ErrPinWrong (3)"), "message names the result");
            Assert.True(ZukException.FromCode("ZUKOpen", -1) is OperationCanceledException, "cancelled is a cancellation");
        }

        static void CardTextsAndPin()
        {
            using (ZukReader reader = OpenWithCard())
            {
                Assert.True(reader.HasReader, "has a reader");
                Assert.True(reader.SenseCard(), "card sensed");
                Assert.Equal("Alice Example", reader.GetUserName(), "user name");
                Assert.Equal("opt-user", reader.GetUserOption(), "user option");
                Assert.Equal("opt-admin", reader.GetAdminOption(), "admin option");
                reader.VerifyPin("1234");
                var e = Assert.Throws<ZukPinException>(() => reader.VerifyPin("0000"), "wrong PIN");
                Assert.Equal(ZukResult.ErrPinWrong, e.Result, "wrong PIN result");
            }
        }

        static void AccountThroughTheLibraryPrompt()
        {
            using (ZukReader reader = OpenWithCard())
            {
                reader.SenseCard();
                Scene.AnswerPinPrompt("1234");
                ZukAccount account = reader.GetUserAccount();
                Assert.Equal("alice", account.UserId, "account");
                Assert.Equal("s3cret-pass", account.Password, "password");
                Assert.True(Scene.WindowsShown > 0, "the library's windows are counted");
            }
        }

        static void AccountWithTheHostPinShowsNoWindowInAnyOutcome()
        {
            // card (null: none), PIN, result, tries left after the call
            var cases = new[]
            {
                Tuple.Create(Scene.Card(), "1234", ZukResult.Ok, 3),
                Tuple.Create(Scene.Card(), "0000", ZukResult.ErrPinWrong, 2),
                Tuple.Create(Scene.Card("failure_count", "2"), "0000", ZukResult.ErrPinLockedNow, 0),
                Tuple.Create(Scene.Card("failure_count", "3"), "1234", ZukResult.ErrCardLocked, 0),
                Tuple.Create((string)null, "1234", ZukResult.ErrNoCard, -1),
            };
            foreach (var c in cases)
            {
                Scene.SetUp();
                if (c.Item1 != null) Scene.LayCard(c.Item1);
                using (ZukReader reader = ZukReader.Open())
                {
                    if (c.Item3 == ZukResult.Ok)
                    {
                        ZukAccount account = reader.GetUserAccountWithPin(c.Item2);
                        Assert.Equal("alice/s3cret-pass/3", account.UserId + "/" + account.Password + "/" + account.TriesLeft, "account");
                    }
                    else if (c.Item3 == ZukResult.ErrNoCard)
                    {
                        var e = Assert.Throws<ZukCardException>(() => reader.GetUserAccountWithPin(c.Item2), "no card");
                        Assert.Equal(c.Item3, e.Result, "no card result");
                    }
                    else
                    {
                        var e = Assert.Throws<ZukPinException>(() => reader.GetUserAccountWithPin(c.Item2), c.Item3.ToString());
                        Assert.Equal(c.Item3, e.Result, "result");
                        Assert.Equal(c.Item4, e.TriesLeft, c.Item3 + " tries left");
                    }
                }
                Assert.Equal(0, Scene.WindowsShown, c.Item3 + ": windows shown");
            }
        }

        static void UnpluggedReaderIsAReaderErrorWithoutWindow()
        {
            using (ZukReader reader = OpenWithCard())
            {
                Scene.PlugReader(false);
                try
                {
                    Assert.Throws<ZukReaderException>(() => reader.GetUserAccountWithPin("1234"), "reader unplugged");
                    Assert.Equal(0, Scene.WindowsShown, "windows shown");
                }
                finally
                {
                    Scene.PlugReader(true);
                }
            }
        }

        // Another thread waits for a card; the account call with the host's PIN meets that call in
        // progress and must wait or give up without any window (no busy box).
        static void AccountCallMeetingAWaitShowsNoWindow()
        {
            using (ZukReader reader = OpenWithCard())
            {
                Scene.TakeCard();
                var outcomes = new System.Collections.Concurrent.ConcurrentBag<string>();
                Func<Action, Thread> run = call =>
                {
                    var thread = new Thread(() =>
                    {
                        try { call(); outcomes.Add("Ok"); }
                        catch (ZukException e) { outcomes.Add(e.Result.ToString()); }
                        catch (ZukCancelledException) { outcomes.Add("Cancelled"); }
                    });
                    thread.Start();
                    return thread;
                };
                Thread waiter = run(() => reader.WaitForCard(true, Timeout.InfiniteTimeSpan));
                Thread.Sleep(100);
                Thread account = run(() => reader.GetUserAccountWithPin("1234"));
                Thread.Sleep(200);
                while (waiter.IsAlive || account.IsAlive)
                {
                    ZukLibrary.Cancel();
                    Thread.Sleep(10);
                }
                Assert.Equal(0, Scene.WindowsShown, "windows shown (" + string.Join(", ", outcomes) + ")");
                foreach (string outcome in outcomes)
                    Assert.True(outcome == "Cancelled" || outcome == "ErrBusy", "outcome " + outcome);
            }
        }

        static void PinTriesAfterAWrongPin()
        {
            using (ZukReader reader = OpenWithCard())
            {
                reader.SenseCard();
                Assert.Equal("3/3", reader.GetPinTries().Left + "/" + reader.GetPinTries().Limit, "fresh card");
                Assert.Throws<ZukPinException>(() => reader.GetUserAccountWithPinAsync("0000", AccountMode.Interactive,
                                                                                      CancellationToken.None).Wait());
                Assert.Equal(2, reader.GetPinTries().Left, "after a wrong PIN");
            }
        }

        static void WaitForCardWithTimeOut()
        {
            using (ZukReader reader = OpenWithCard())
            {
                TimeSpan shortWait = TimeSpan.FromMilliseconds(200);
                Assert.True(reader.WaitForCard(true, shortWait), "card there");
                Assert.True(!reader.WaitForCard(false, shortWait), "card not taken away");
                Scene.TakeCard();
                Assert.True(!reader.WaitForCardAsync(true, shortWait, CancellationToken.None).Result, "no card laid");
                Assert.True(reader.WaitForCard(false, shortWait), "card away");
                Timer lay = new Timer(_ => Scene.LayCard(), null, 100, Timeout.Infinite);
                Assert.True(reader.WaitForCardAsync(true, Timeout.InfiniteTimeSpan, CancellationToken.None).Result,
                            "card laid from another thread");
                lay.Dispose();
            }
        }

        static void TokenCancelsTheWaitAndTheNextCallWorks()
        {
            using (ZukReader reader = OpenWithCard())
            {
                Scene.TakeCard();
                using (var cts = new CancellationTokenSource())
                {
                    Task<bool> wait = reader.WaitForCardAsync(true, Timeout.InfiniteTimeSpan, cts.Token);
                    Thread.Sleep(100);
                    Assert.True(!wait.IsCompleted, "still waiting");
                    var clock = Stopwatch.StartNew();
                    cts.Cancel();
                    Assert.Throws<OperationCanceledException>(() => wait.Wait(), "cancelled wait");
                    Assert.True(clock.ElapsedMilliseconds < 5000, "ended promptly");
                    Assert.Equal(TaskStatus.Canceled, wait.Status, "task status");
                }
                Scene.LayCard();
                Assert.True(reader.SenseCard(), "next call works");
                // A token cancelled already: the call does not start.
                var cancelled = new CancellationToken(true);
                Assert.Throws<OperationCanceledException>(() => reader.WaitForCard(true, Timeout.InfiniteTimeSpan, cancelled));
                // A cancel while nothing waits reaches no later call.
                ZukLibrary.Cancel();
                Assert.True(reader.WaitForCard(true, TimeSpan.FromMilliseconds(200)), "wait after a stray cancel");
            }
        }

        // The library ends only the calls under way when its cancel comes: a token cancelled after
        // the binding took the call but before the library's call began must still end it (the
        // binding repeats the cancel until the call returns).  The cancel is given from inside the
        // call, just before the export is entered.
        static void CancelGivenAsTheCallBeginsStillEndsIt()
        {
            using (ZukReader reader = OpenWithCard())
            {
                Scene.TakeCard();
                using (var cts = new CancellationTokenSource())
                {
                    int code = 0;
                    var waiter = new Thread(() =>
                    {
                        code = ZukLibrary.RunCancellable("ZUKWaitForCard", () =>
                        {
                            int present;
                            cts.Cancel();
                            return NativeMethods.ZUKWaitForCard(reader.Handle.Value, 1, -1, out present);
                        }, cts.Token);
                    });
                    waiter.Start();
                    bool ended = waiter.Join(2000);
                    while (waiter.IsAlive)  // end it all the same, so that a failure leaves no thread
                    {
                        ZukLibrary.Cancel();
                        waiter.Join(100);
                    }
                    Assert.True(ended, "the cancel was lost");
                    Assert.Equal((int)ZukResult.Cancelled, code, "result");
                }
            }
        }

        static void DisposeReleasesTheHandle()
        {
            ZukReader reader = OpenWithCard();
            var e = Assert.Throws<ZukReaderException>(() => ZukReader.Open(), "second open");
            Assert.Equal(ZukResult.ErrAlreadyOpen, e.Result, "second open result");
            reader.Dispose();
            Assert.True(reader.Handle.IsClosed, "handle closed");
            Assert.Throws<ObjectDisposedException>(() => reader.SenseCard(), "call after Dispose");
            using (ZukReader again = ZukReader.Open()) Assert.True(again.SenseCard(), "open after Dispose");
        }

        // Opens a reader and drops it; the weak reference tells when its handle was collected.
        [MethodImpl(MethodImplOptions.NoInlining)]
        static WeakReference OpenAndForget() { return new WeakReference(ZukReader.Open().Handle); }

        // The finalizer closes a forgotten reader.  It runs on the finalizer thread, where the
        // reader's mutex (held by the opening thread) cannot be released: the opening thread, this
        // one, opens again.  Mono scans stacks conservatively, so the collection is repeated until
        // the handle is gone.
        static void FinalizerReleasesAForgottenHandle()
        {
            Scene.SetUp();
            WeakReference forgotten = OpenAndForget();
            for (int i = 0; i < 20 && forgotten.IsAlive; i++)
            {
                GC.Collect();
                GC.WaitForPendingFinalizers();
            }
            Assert.True(!forgotten.IsAlive, "the forgotten handle was collected");
            using (ZukReader again = ZukReader.Open()) Assert.True(again.HasReader, "open after the finalizer");
        }

        static void LoaderPicksTheFolderOfTheProcessBitness()
        {
            string[] x64 = NativeLoader.CandidatePaths("/app", true, "/opt/zuk");
            Assert.Equal(System.IO.Path.Combine("/app", "x64", "ZUKcntrl.dll"), x64[0], "64-bit host folder");
            Assert.Equal(System.IO.Path.Combine("/opt/zuk", "ZUKcntrl.dll"), x64[1], "installed library");
            Assert.Equal(System.IO.Path.Combine("/app", "x86", "ZUKcntrl.dll"), NativeLoader.CandidatePaths("/app", false, null)[0], "32-bit");
            Assert.Equal(1, NativeLoader.CandidatePaths("/app", false, null).Length, "no install path");
            Assert.Equal(null, NativeLoader.LoadedFrom, "nothing preloaded off Windows");
        }

        static int Main()
        {
            var tests = new List<Action>
            {
                VersionModeAndLengths, EachResultThrowsItsFamily, CardTextsAndPin, AccountThroughTheLibraryPrompt,
                AccountWithTheHostPinShowsNoWindowInAnyOutcome, UnpluggedReaderIsAReaderErrorWithoutWindow,
                AccountCallMeetingAWaitShowsNoWindow, PinTriesAfterAWrongPin, WaitForCardWithTimeOut,
                TokenCancelsTheWaitAndTheNextCallWorks, CancelGivenAsTheCallBeginsStillEndsIt, DisposeReleasesTheHandle, FinalizerReleasesAForgottenHandle,
                LoaderPicksTheFolderOfTheProcessBitness,
            };
            int passed = 0, failed = 0;
            foreach (Action test in tests)
            {
                try
                {
                    test();
                    passed++;
                    Console.WriteLine("PASS " + test.Method.Name);
                }
                catch (Exception e)
                {
                    failed++;
                    Console.WriteLine("FAIL " + test.Method.Name + ": " + e);
                }
            }
            Console.WriteLine("{0} passed, {1} failed", passed, failed);
            return failed == 0 ? 0 : 1;
        }
    }
}
