// Scene.cs - the scene of the binding's tests, set through the test controls of the native shared
// build (libZUKcntrl.so, bindings/native/zuk_test_controls.h): the machine values, the card on the
// simulated reader, the reader plugged or not, the library's own PIN prompt answered.
using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;

namespace Korva.Zuk.Tests
{
    public static class Scene
    {
        const string Dll = "ZUKcntrl";

        [DllImport(Dll)] static extern int ZukTestSetUp(uint mode, uint device, uint config, string extraIni);
        [DllImport(Dll)] static extern int ZukTestLayCard(string description);
        [DllImport(Dll)] static extern void ZukTestTakeCard();
        [DllImport(Dll)] static extern void ZukTestPlugReader(int plugged);
        [DllImport(Dll)] static extern void ZukTestAnswerPinPrompt(string pin);
        [DllImport(Dll)] static extern int ZukTestWindowsShown();

        // The sample card file (sim/cards/alice.card), named by ZUK_ALICE_CARD.
        public static string AliceCard
        {
            get { return Environment.GetEnvironmentVariable("ZUK_ALICE_CARD") ?? "alice.card"; }
        }

        // The sample card's description with values replaced ("failure_count", "2", ...).
        public static string Card(params string[] nameValues)
        {
            string text = File.ReadAllText(AliceCard);
            for (int i = 0; i + 1 < nameValues.Length; i += 2)
            {
                var line = new Regex("^" + nameValues[i] + @"\s*=.*$", RegexOptions.Multiline);
                if (!line.IsMatch(text)) throw new ArgumentException(nameValues[i]);
                text = line.Replace(text, nameValues[i] + " = " + nameValues[i + 1]);
            }
            return text;
        }

        // A fresh library and reader with no card: Mode 256 (card), the reader, ID and password read
        // from the card and nothing remembered, unless told otherwise.
        public static void SetUp(uint mode = 256, uint device = 1, uint config = 0x3, string extraIni = "")
        {
            if (ZukTestSetUp(mode, device, config, extraIni) != 1)
                throw new InvalidOperationException("the library refused the machine values");
        }

        public static void LayCard(string description = null)
        {
            if (ZukTestLayCard(description ?? Card()) != 0) throw new ArgumentException("not a card description");
        }

        public static void TakeCard() { ZukTestTakeCard(); }
        public static void PlugReader(bool plugged) { ZukTestPlugReader(plugged ? 1 : 0); }
        public static void AnswerPinPrompt(string pin) { ZukTestAnswerPinPrompt(pin); }
        public static int WindowsShown { get { return ZukTestWindowsShown(); } }
    }
}
