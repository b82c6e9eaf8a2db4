// ZukLibrary.cs - what the library says of itself (version, mode, buffer sizes), the cancel of a
// waiting call, and the text encoding of the card's texts.
using System;
using System.Text;
using System.Runtime.CompilerServices;
using System.Threading;

[assembly: InternalsVisibleTo("ZukTests")]

namespace Korva.Zuk
{
    // The largest user ID and password the library hands out, in bytes.
    public struct MaxLengths
    {
        public int IdLength;
        public int PasswordLength;
    }

    public static class ZukLibrary
    {
        // The card's texts, the typed PIN and the account are bytes in the system's ANSI code page
        // (Encoding.Default on the .NET Framework; Mono on Linux gives UTF-8).
        public static Encoding TextEncoding = Encoding.Default;

        // The library's version (3.1.0 is 0x00030100).
        public static Version Version
        {
            get
            {
                int v = RawVersion;
                return new Version((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
            }
        }

        public static int RawVersion
        {
            get
            {
                NativeMethods.EnsureLoaded();
                int version;
                Check("ZUKGetLibVersion", NativeMethods.ZUKGetLibVersion(out version));
                return version;
            }
        }

        // Off (0) when the library is switched off: a host then uses its own log-on.
        public static LibraryMode Mode
        {
            get
            {
                NativeMethods.EnsureLoaded();
                int mode;
                Check("ZUKGetLibMode", NativeMethods.ZUKGetLibMode(out mode, 0));
                return (LibraryMode)mode;
            }
        }

        public static MaxLengths MaxLengths
        {
            get
            {
                NativeMethods.EnsureLoaded();
                var lengths = new MaxLengths();
                Check("ZUKGetMaxLength", NativeMethods.ZUKGetMaxLength(out lengths.IdLength, out lengths.PasswordLength));
                return lengths;
            }
        }

        // Ends the call of this process that waits (for a card, for the reader another process
        // holds, for another call, between a reader's retries) with Cancelled.  Any thread; does
        // nothing when no call waits.  The binding's methods that take a CancellationToken call it
        // for you.
        public static void Cancel()
        {
            NativeMethods.EnsureLoaded();
            NativeMethods.ZUKCancel();
        }

        internal static void Check(string operation, int code)
        {
            if (code != 0) throw ZukException.FromCode(operation, code);
        }

        // Runs a call that may wait, mapping the token onto ZUKCancel: once the token is cancelled,
        // ZUKCancel is called at once and again every 5 ms until the call returns, so that a cancel
        // that comes just before the call begins to wait still ends it.  Throws when the token is
        // cancelled already.
        internal static int RunCancellable(string operation, Func<int> call, CancellationToken token)
        {
            if (token.IsCancellationRequested) throw new ZukCancelledException(operation, token);
            if (!token.CanBeCanceled) return call();
            var canceller = new Canceller();
            using (token.Register(canceller.Start))
            {
                try
                {
                    return call();
                }
                finally
                {
                    canceller.Finish();
                }
            }
        }

        sealed class Canceller
        {
            volatile bool finished;
            int started;

            public void Start()
            {
                if (Interlocked.Exchange(ref started, 1) == 1 || finished) return;
                NativeMethods.ZUKCancel();
                ThreadPool.QueueUserWorkItem(delegate
                {
                    while (!finished)
                    {
                        Thread.Sleep(5);
                        if (!finished) NativeMethods.ZUKCancel();
                    }
                });
            }

            public void Finish() { finished = true; }
        }
    }
}
