// ZukReader.cs - the open reader: a SafeHandle that closes it, and the calls made with it.
using System;
using System.Runtime.InteropServices;
using System.Threading;
using System.Threading.Tasks;

namespace Korva.Zuk
{
    // The handle ZUKOpen gave (1 with a reader, 0 when the library runs without one), closed with
    // ZUKClose when released: by Dispose, or by the finalizer of a reader the host forgot.  The
    // library asks for ZUKClose from the thread that opened: dispose the reader where you opened it.
    public sealed class ZukReaderHandle : SafeHandle
    {
        static readonly IntPtr Invalid = new IntPtr(-1);

        internal ZukReaderHandle() : base(Invalid, true) { }

        public override bool IsInvalid { get { return handle == Invalid; } }

        internal int Value { get { return handle.ToInt32(); } }
        internal void Set(int value) { SetHandle(new IntPtr(value)); }

        protected override bool ReleaseHandle()
        {
            return NativeMethods.ZUKClose(handle.ToInt32()) == 0;
        }
    }

    // The PIN tries the card has left before it locks (0 once locked) and the limit it keeps; a card
    // that sets no limit has Limit 0 and Left -1.
    public struct PinTries
    {
        public int Left;
        public int Limit;
    }

    // The user's account and password.  TriesLeft: the PIN tries the card has left after the call
    // (-1 when not known, or when no PIN was given by the host).
    public sealed class ZukAccount
    {
        public string UserId { get; internal set; }
        public string Password { get; internal set; }
        public int TriesLeft { get; internal set; }
    }

    public sealed class ZukReader : IDisposable
    {
        readonly ZukReaderHandle handle;

        ZukReader(ZukReaderHandle handle) { this.handle = handle; }

        public ZukReaderHandle Handle { get { return handle; } }

        // Whether the library runs with a reader (handle 1) or without one (0: typed credentials).
        public bool HasReader { get { return Use(h => h) == 1; } }

        // Opens the reader; waits (cancellably) while another process holds it, up to OpenWait.
        public static ZukReader Open(CancellationToken token = default(CancellationToken))
        {
            NativeMethods.EnsureLoaded();
            var handle = new ZukReaderHandle();
            int value = -1;
            int code = ZukLibrary.RunCancellable("ZUKOpen", () => NativeMethods.ZUKOpen(out value), token);
            if (code != 0)
            {
                handle.SetHandleAsInvalid();
                throw ZukException.FromCode("ZUKOpen", code, -1, token);
            }
            handle.Set(value);
            return new ZukReader(handle);
        }

        // Closes the reader and reports a failure to close (Dispose closes it too, silently).
        public void Close()
        {
            int value = Use(h => h);
            handle.SetHandleAsInvalid();
            ZukLibrary.Check("ZUKClose", NativeMethods.ZUKClose(value));
        }

        public void Dispose() { handle.Dispose(); }

        public bool SenseCard()
        {
            int present = 0;
            ZukLibrary.Check("ZUKSenseCard", Use(h => NativeMethods.ZUKSenseCard(h, out present)));
            return present != 0;
        }

        // Verifies a PIN against the card (a wrong one raises the card's failure count).
        public void VerifyPin(string pin)
        {
            byte[] bytes = ZukLibrary.TextEncoding.GetBytes(pin ?? "");
            try
            {
                ZukLibrary.Check("ZUKVerifyPIN", Use(h => NativeMethods.ZUKVerifyPIN(h, bytes.Length, bytes)));
            }
            finally
            {
                Array.Clear(bytes, 0, bytes.Length);
            }
        }

        public string GetUserName() { return ReadText("ZUKGetUserName", NativeMethods.ZUKGetUserName); }
        public string GetUserOption() { return ReadText("ZUKGetUserOption", NativeMethods.ZUKGetUserOption); }
        public string GetAdminOption() { return ReadText("ZUKGetAdminOption", NativeMethods.ZUKGetAdminOption); }

        public PinTries GetPinTries()
        {
            var tries = new PinTries();
            ZukLibrary.Check("ZUKGetPinTries", Use(h => NativeMethods.ZUKGetPinTries(h, out tries.Left, out tries.Limit)));
            return tries;
        }

        // The account through the library's own prompts (card wait, PIN prompt, typed credentials);
        // window is their parent (IntPtr.Zero: none).  The token ends the card wait.
        public ZukAccount GetUserAccount(AccountMode mode = AccountMode.Interactive, IntPtr window = default(IntPtr),
                                         CancellationToken token = default(CancellationToken))
        {
            return Account("ZUKGetUserAccount", ZukLibrary.MaxLengths, token,
                           (int h, ref AccountRequest r, out int tries) =>
                           {
                               tries = -1;
                               return NativeMethods.ZUKGetUserAccount(h, ref r, (int)mode, window);
                           });
        }

        public Task<ZukAccount> GetUserAccountAsync(AccountMode mode, IntPtr window, CancellationToken token)
        {
            return Task.Run(() => GetUserAccount(mode, window, token), token);
        }

        // The account with the PIN the host collected, without any window of the library's.  A wrong
        // PIN throws ZukPinException (ErrPinWrong, or ErrPinLockedNow when it locked the card) with the
        // tries left; no card throws ZukCardException (ErrNoCard).
        public ZukAccount GetUserAccountWithPin(string pin, AccountMode mode = AccountMode.Interactive,
                                                CancellationToken token = default(CancellationToken))
        {
            byte[] bytes = ZukLibrary.TextEncoding.GetBytes(pin ?? "");
            try
            {
                return Account("ZUKGetUserAccountWithPin", HostDrivenLengths, token,
                               (int h, ref AccountRequest r, out int tries) =>
                                   NativeMethods.ZUKGetUserAccountWithPin(h, ref r, (int)mode, bytes, bytes.Length,
                                                                          out tries));
            }
            finally
            {
                Array.Clear(bytes, 0, bytes.Length);
            }
        }

        public Task<ZukAccount> GetUserAccountWithPinAsync(string pin, AccountMode mode, CancellationToken token)
        {
            return Task.Run(() => GetUserAccountWithPin(pin, mode, token), token);
        }

        // Waits until a card is laid (present true) or taken away (false): true when that happened,
        // false when the time-out passed first.  Timeout.InfiniteTimeSpan waits without bound; the
        // token ends the wait (ZukCancelledException).
        public bool WaitForCard(bool present, TimeSpan timeout, CancellationToken token = default(CancellationToken))
        {
            int ms = timeout == Timeout.InfiniteTimeSpan ? -1 : (int)Math.Min(int.MaxValue, Math.Max(0, timeout.TotalMilliseconds));
            int state = 0;
            int code = ZukLibrary.RunCancellable("ZUKWaitForCard",
                                                 () => Use(h => NativeMethods.ZUKWaitForCard(h, present ? 1 : 0, ms, out state)),
                                                 token);
            if (code != 0) throw ZukException.FromCode("ZUKWaitForCard", code, -1, token);
            return (state != 0) == present;
        }

        public Task<bool> WaitForCardAsync(bool present, TimeSpan timeout, CancellationToken token)
        {
            return Task.Run(() => WaitForCard(present, timeout, token), token);
        }

        delegate int AccountCall(int handle, ref AccountRequest request, out int triesLeft);
        delegate int TextCall(int handle, byte[] buffer, ref int length);

        // The largest user ID and password the library hands out (ZUKGetMaxLength's answer): the
        // buffers of the host-driven account call, which makes no other call (an export of the
        // library's own flow that met another call in progress would show its busy box).
        static readonly MaxLengths HostDrivenLengths = new MaxLengths { IdLength = 128, PasswordLength = 256 };

        // Runs an account call into unmanaged buffers of these sizes, wiped and freed after.
        ZukAccount Account(string operation, MaxLengths max, CancellationToken token, AccountCall call)
        {
            IntPtr account = Marshal.AllocHGlobal(max.IdLength);
            IntPtr password = Marshal.AllocHGlobal(max.PasswordLength);
            try
            {
                var request = new AccountRequest
                {
                    Version = NativeMethods.AccountRequestVersion,
                    AccountBuffer = account,
                    AccountLength = max.IdLength,
                    PasswordBuffer = password,
                    PasswordLength = max.PasswordLength,
                };
                int triesLeft = -1;
                int code = ZukLibrary.RunCancellable(operation, () => Use(h => call(h, ref request, out triesLeft)), token);
                if (code != 0) throw ZukException.FromCode(operation, code, triesLeft, token);
                return new ZukAccount
                {
                    UserId = Text(account, request.AccountLength, max.IdLength),
                    Password = Text(password, request.PasswordLength, max.PasswordLength),
                    TriesLeft = triesLeft,
                };
            }
            finally
            {
                Wipe(account, max.IdLength);
                Wipe(password, max.PasswordLength);
                Marshal.FreeHGlobal(account);
                Marshal.FreeHGlobal(password);
            }
        }

        string ReadText(string operation, TextCall call)
        {
            var buffer = new byte[1024];
            int length = buffer.Length;
            ZukLibrary.Check(operation, Use(h => call(h, buffer, ref length)));
            return ZukLibrary.TextEncoding.GetString(buffer, 0, Math.Max(0, Math.Min(length, buffer.Length)));
        }

        static string Text(IntPtr buffer, int length, int size)
        {
            var bytes = new byte[Math.Max(0, Math.Min(length, size))];
            Marshal.Copy(buffer, bytes, 0, bytes.Length);
            string text = ZukLibrary.TextEncoding.GetString(bytes);
            Array.Clear(bytes, 0, bytes.Length);
            return text;
        }

        static void Wipe(IntPtr buffer, int size)
        {
            for (int i = 0; i < size; i++) Marshal.WriteByte(buffer, i, 0);
        }

        // Calls with the handle's value, the handle kept from release meanwhile (a disposed reader
        // throws ObjectDisposedException).
        T Use<T>(Func<int, T> call)
        {
            bool added = false;
            try
            {
                handle.DangerousAddRef(ref added);
                return call(handle.Value);
            }
            finally
            {
                if (added) handle.DangerousRelease();
            }
        }
    }
}
