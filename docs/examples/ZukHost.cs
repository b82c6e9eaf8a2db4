// ZukHost.cs - ZUKcntrl.dll from C# through P/Invoke.
//
// A process loads the ZUKcntrl.dll of its own bitness: build for x86 with the 32-bit library, for
// x64 with the 64-bit one (AnyCPU runs 64-bit on 64-bit Windows).
//   csc /platform:x86 ZukHost.cs        (mcs -platform:x86 ZukHost.cs with Mono)
//   ZukHost.exe            version, mode and buffer sizes
//   ZukHost.exe identify   asks the library who the user is (card, PIN prompt or typed ID)
using System;
using Microsoft.Win32;
using System.Runtime.InteropServices;

namespace Korva.Zuk
{
    // The host's request record of ZUKGetUserAccount: seven fields, the two buffer pointers of the
    // process's pointer size (IntPtr), the others 32-bit.  The two buffers are
    // memory the host owns; the library writes the texts (ANSI, no terminator) and their lengths.
    [StructLayout(LayoutKind.Sequential)]
    public struct AccountRequest
    {
        public uint Version;           // ZukNative.AccountRequestVersion
        public IntPtr AccountBuffer;
        public int AccountLength;      // in: buffer size; out: text length
        public IntPtr PasswordBuffer;
        public int PasswordLength;     // in: buffer size; out: text length (0: none)
        public int Reserved1;
        public int Reserved2;
    }

    public static class ZukNative
    {
        const string Dll = "ZUKcntrl.dll";

        public const int Ok = 0;
        public const int Cancelled = -1;
        public const uint AccountRequestVersion = 0x10000;
        public const int ModeInteractive = 0x0;
        public const int ModeInteractiveHandover = 0x1010000;
        public const int ModePickup = 0x10000;

        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKOpen(out int handle);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKClose(int handle);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKSenseCard(int handle, out int present);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKVerifyPIN(int handle, int pinLength, byte[] pin);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKGetUserName(int handle, byte[] buffer, ref int length);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKGetUserOption(int handle, byte[] buffer, ref int length);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKGetAdminOption(int handle, byte[] buffer, ref int length);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKGetMaxLength(out int maxIdLength, out int maxPasswordLength);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKGetLibMode(out int mode, int reserved);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKGetLibVersion(out int version);
        [DllImport(Dll, CallingConvention = CallingConvention.StdCall)]
        public static extern int ZUKGetUserAccount(int handle, ref AccountRequest request, int mode, IntPtr window);
    }

    public static class ZukHost
    {
        const uint CP_ACP = 0;

        [DllImport("kernel32.dll")]
        static extern int MultiByteToWideChar(uint codePage, uint flags, byte[] bytes, int count,
                                              [Out] char[] chars, int charCount);

        // Texts cross the interface in the system's ANSI code page (932 on a Japanese system,
        // 1252 on most Western ones).  Encoding.Default is that code page on .NET Framework only
        // (UTF-8 on .NET 5 and later), and Encoding.GetEncoding(932 or 1252) throws on .NET 5 and
        // later unless the host registers the code-pages provider.  Windows' own conversion from
        // the ANSI code page (CP_ACP) needs neither and works on both.
        static string Ansi(byte[] bytes, int length)
        {
            if (length <= 0) return "";
            int count = MultiByteToWideChar(CP_ACP, 0, bytes, length, null, 0);
            var chars = new char[count];
            MultiByteToWideChar(CP_ACP, 0, bytes, length, chars, count);
            return new string(chars, 0, count);
        }

        static int Identify()
        {
            int handle;
            int result = ZukNative.ZUKOpen(out handle);
            if (result != ZukNative.Ok) return result;
            int maxId, maxPassword;
            ZukNative.ZUKGetMaxLength(out maxId, out maxPassword);
            IntPtr account = Marshal.AllocHGlobal(maxId);
            IntPtr password = Marshal.AllocHGlobal(maxPassword);
            try
            {
                var request = new AccountRequest
                {
                    Version = ZukNative.AccountRequestVersion,
                    AccountBuffer = account,
                    AccountLength = maxId,
                    PasswordBuffer = password,
                    PasswordLength = maxPassword,
                };
                result = ZukNative.ZUKGetUserAccount(handle, ref request, ZukNative.ModeInteractive, IntPtr.Zero);
                if (result == ZukNative.Ok)
                {
                    byte[] text = new byte[request.AccountLength];
                    Marshal.Copy(account, text, 0, request.AccountLength);
                    Console.WriteLine("user: " + Ansi(text, text.Length) +
                                      (request.PasswordLength > 0 ? " (with a password)" : ""));
                }
                else if (result == ZukNative.Cancelled)
                {
                    Console.WriteLine("cancelled by the user");
                }
            }
            finally
            {
                // The password is a secret: clear it before the memory goes back.
                Marshal.Copy(new byte[maxPassword], 0, password, maxPassword);
                Marshal.FreeHGlobal(password);
                Marshal.FreeHGlobal(account);
                ZukNative.ZUKClose(handle);
            }
            return result;
        }

        [DllImport("kernel32.dll", SetLastError = true, CharSet = CharSet.Unicode)]
        static extern IntPtr LoadLibrary(string path);

        // Loads the installed ZUKcntrl.dll of this process's bitness before the first call of an
        // export (the DllImport declarations then bind to it): InstallPath in this process's own
        // registry view names that library's folder.  False when it is not installed for this
        // bitness; the DLL is then looked for beside the program and on the PATH as usual.
        static bool LoadZukcntrl()
        {
            var view = Environment.Is64BitProcess ? RegistryView.Registry64 : RegistryView.Registry32;
            using (var machine = RegistryKey.OpenBaseKey(RegistryHive.LocalMachine, view))
            using (var key = machine.OpenSubKey(@"SOFTWARE\KORVA\ZUKLib"))
            {
                string folder = key == null ? null : key.GetValue("InstallPath") as string;
                if (folder == null) return false;
                string path = System.IO.Path.Combine(folder, "ZUKcntrl.dll");
#if NETCOREAPP3_0_OR_GREATER
                NativeLibrary.Load(path);                 // .NET Core 3 and .NET 5 and later
#else
                if (LoadLibrary(path) == IntPtr.Zero)     // .NET Framework
                    throw new DllNotFoundException(path + ": error " + Marshal.GetLastWin32Error());
#endif
                return true;
            }
        }

        public static int Main(string[] args)
        {
            LoadZukcntrl();
            int version, mode, maxId, maxPassword;
            // The mode first: with the library switched off (0) every other call prompts.
            int result = ZukNative.ZUKGetLibMode(out mode, 0);
            if (result != ZukNative.Ok || mode == 0)
            {
                Console.WriteLine("switched off: the host uses its own log-on");
                return result == ZukNative.Ok ? 0 : 1;
            }
            result = ZukNative.ZUKGetLibVersion(out version);
            if (result != ZukNative.Ok) return 1;
            Console.WriteLine("ZUKcntrl {0}.{1}.{2}", (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
            ZukNative.ZUKGetMaxLength(out maxId, out maxPassword);
            Console.WriteLine("mode {0}; buffers {1} and {2} bytes", mode, maxId, maxPassword);
            if (args.Length > 0 && args[0] == "identify") result = Identify();
            return result == ZukNative.Ok ? 0 : 1;
        }
    }
}
