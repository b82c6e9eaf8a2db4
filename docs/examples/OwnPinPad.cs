// OwnPinPad.cs - a host with its own PIN entry, through the C# binding (bindings/dotnet, Korva.Zuk).
//
// The library shows no window here: the host senses the card, asks for the PIN itself, and gets
// the account, or the tries the card has left after a wrong PIN, or word that the card is locked.
// The wait for a card has no time-out of its own; the kiosk's idle timer (CancelAfter) or Ctrl+C
// cancel it from another thread through the CancellationToken.
//   mcs -r:Korva.Zuk.dll OwnPinPad.cs          (csc /r:Korva.Zuk.dll OwnPinPad.cs on Windows)
//   OwnPinPad.exe [idle-seconds]               reads the PIN from standard input
using System;
using System.Globalization;
using System.Threading;
using Korva.Zuk;

static class OwnPinPad
{
    static int Main(string[] args)
    {
        double idleSeconds = args.Length > 0 ? double.Parse(args[0], CultureInfo.InvariantCulture) : 30;
        if (ZukLibrary.Mode == LibraryMode.Off)
        {
            Console.WriteLine("ZUKcntrl is switched off: use the host's own log-on");
            return 0;
        }
        Console.WriteLine("ZUKcntrl {0}", ZukLibrary.Version);
        using (var idle = new CancellationTokenSource())
        {
            idle.CancelAfter(TimeSpan.FromSeconds(idleSeconds));
            Console.CancelKeyPress += (sender, e) => { e.Cancel = true; idle.Cancel(); };
            try
            {
                using (ZukReader reader = ZukReader.Open(idle.Token))
                {
                    return Identify(reader, idle.Token);
                }
            }
            catch (OperationCanceledException)
            {
                Console.WriteLine("Cancelled: back to the welcome screen");
                return 2;
            }
            catch (ZukException e)
            {
                Console.WriteLine("The reader cannot be used: {0}", e.Message);
                return 1;
            }
        }
    }

    static int Identify(ZukReader reader, CancellationToken idle)
    {
        if (!reader.SenseCard())
        {
            Console.WriteLine("Lay your card on the reader");
            reader.WaitForCardAsync(true, Timeout.InfiniteTimeSpan, idle).GetAwaiter().GetResult();
        }
        PinTries tries = reader.GetPinTries();
        Console.WriteLine("PIN tries left: {0} of {1}", tries.Left, tries.Limit);
        while (true)
        {
            Console.Write("PIN: ");
            string pin = Console.ReadLine();
            if (pin == null)
            {
                Console.WriteLine("No PIN entered");
                return 1;
            }
            try
            {
                ZukAccount account = reader.GetUserAccountWithPin(pin, AccountMode.Interactive, idle);
                Console.WriteLine("Welcome, {0}", account.UserId);
                return 0;
            }
            catch (ZukPinException e)
            {
                if (e.Result == ZukResult.ErrPinWrong)
                {
                    Console.WriteLine("Wrong PIN: {0} tries left", e.TriesLeft);
                    continue;
                }
                Console.WriteLine(e.Result == ZukResult.ErrPinLockedNow
                                      ? "Wrong PIN: the card is now locked"
                                      : "This card is locked: see your administrator");
                return 3;
            }
            catch (ZukCardException e)
            {
                Console.WriteLine("The card cannot be read ({0}): lay it on the reader again", e.Result);
                return 1;
            }
        }
    }
}
